#include "install/url_down_callback.h"

#include <commctrl.h>

// COM's rule for an interface not served: the out pointer is cleared, so that a caller who
// releases it on failure releases nothing.
STDMETHODIMP URLDownCallBack::QueryInterface(REFIID, void** ppvObject) {
    if (ppvObject == nullptr) return E_POINTER;
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) URLDownCallBack::AddRef() { return 0; }

STDMETHODIMP_(ULONG) URLDownCallBack::Release() { return 0; }

URLDownCallBack::~URLDownCallBack() { ReleaseBinding(); }

unsigned long long URLDownCallBack::MsSinceLastReport() const {
    return GetTickCount64() - m_lastReportTick.load();
}

void URLDownCallBack::RestartQuietClock() { m_lastReportTick = GetTickCount64(); }

bool URLDownCallBack::AbortBinding() {
    return m_binding != nullptr && SUCCEEDED(m_binding->Abort());
}

void URLDownCallBack::ReleaseBinding() {
    if (m_binding != nullptr) m_binding->Release();
    m_binding = nullptr;
}

// The answer stays what the platform always got; the binding is kept until it stops.
STDMETHODIMP URLDownCallBack::OnStartBinding(DWORD, IBinding* pib) {
    ReleaseBinding();
    if (pib != nullptr) pib->AddRef();
    m_binding = pib;
    RestartQuietClock();
    return E_NOTIMPL;
}

STDMETHODIMP URLDownCallBack::GetPriority(LONG*) { return E_NOTIMPL; }

STDMETHODIMP URLDownCallBack::OnLowResource(DWORD) { return E_NOTIMPL; }

STDMETHODIMP URLDownCallBack::OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                                         LPCWSTR) {
    // Every report, also of connecting or of a redirection, shows that the download moves.
    RestartQuietClock();
    if (ulStatusCode != BINDSTATUS_BEGINDOWNLOADDATA &&
        ulStatusCode != BINDSTATUS_DOWNLOADINGDATA && ulStatusCode != BINDSTATUS_ENDDOWNLOADDATA)
        return E_NOTIMPL;
    // The end report of the direct download carries what was written, not what was announced.
    if (ulStatusCode != BINDSTATUS_ENDDOWNLOADDATA && ulProgressMax > m_announcedLength)
        m_announcedLength = ulProgressMax;
    if (m_progressBar == nullptr) return E_NOTIMPL;
    // The end report carries the total in its maximum; the others carry the bytes so far.
    ULONG position = ulStatusCode == BINDSTATUS_ENDDOWNLOADDATA ? ulProgressMax : ulProgress;
    SendMessageW(m_progressBar, PBM_SETPOS, position, 0);
    return S_OK;
}

STDMETHODIMP URLDownCallBack::OnStopBinding(HRESULT, LPCWSTR) {
    ReleaseBinding();
    return E_NOTIMPL;
}

STDMETHODIMP URLDownCallBack::GetBindInfo(DWORD*, BINDINFO*) { return E_NOTIMPL; }

STDMETHODIMP URLDownCallBack::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) {
    return E_NOTIMPL;
}

STDMETHODIMP URLDownCallBack::OnObjectAvailable(REFIID, IUnknown*) { return E_NOTIMPL; }
