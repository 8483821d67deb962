#pragma once

#include <windows.h>
#include <urlmon.h>
#include <atomic>

// The progress callback of both download engines: it answers only progress reports and turns
// them into positions of a progress bar. It counts no references of its own; the bar belongs
// to the page, the object to the step that made it. While a moniker download runs it holds
// that download's binding, so that a download that stalled can be ended.
class URLDownCallBack : public IBindStatusCallback {
  public:
    // progressBar: the bar the reports move; null leaves every report unanswered.
    explicit URLDownCallBack(HWND progressBar = nullptr) : m_progressBar(progressBar) {}

    // The length the download's own answer announced, as its begin and data reports carry it
    // (0 while none did): what a moniker download is checked against once it has finished.
    ULONG AnnouncedLength() const { return m_announcedLength; }
    void ForgetAnnouncedLength() { m_announcedLength = 0; }

    // How long ago the last report of any kind came (or the clock was restarted); read by the
    // watch of a stalled download on its own thread.
    unsigned long long MsSinceLastReport() const;
    void RestartQuietClock();
    // Ends the running moniker download; on the thread that runs it. False when none runs.
    bool AbortBinding();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppvObject) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP OnStartBinding(DWORD dwReserved, IBinding* pib) override;
    STDMETHODIMP GetPriority(LONG* pnPriority) override;
    STDMETHODIMP OnLowResource(DWORD reserved) override;
    STDMETHODIMP OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                            LPCWSTR szStatusText) override;
    STDMETHODIMP OnStopBinding(HRESULT hresult, LPCWSTR szError) override;
    STDMETHODIMP GetBindInfo(DWORD* grfBINDF, BINDINFO* pbindinfo) override;
    STDMETHODIMP OnDataAvailable(DWORD grfBSCF, DWORD dwSize, FORMATETC* pformatetc,
                                 STGMEDIUM* pstgmed) override;
    STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* punk) override;

    virtual ~URLDownCallBack();

  private:
    void ReleaseBinding();

    HWND m_progressBar;
    ULONG m_announcedLength = 0;
    std::atomic<unsigned long long> m_lastReportTick{GetTickCount64()};
    IBinding* m_binding = nullptr;
};
