#pragma once

#include <windows.h>
#include <urlmon.h>

// The progress callback of the download: it answers only progress reports and turns them into
// positions of a progress bar, on the thread that reports, synchronously. It counts no
// references of its own; the bar belongs to the page, the object to the step that made it.
class URLDownCallBack : public IBindStatusCallback {
  public:
    // progressBar: the bar the reports move; null leaves every report unanswered.
    explicit URLDownCallBack(HWND progressBar = nullptr) : m_progressBar(progressBar) {}

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

    virtual ~URLDownCallBack() = default;

  private:
    HWND m_progressBar;
};
