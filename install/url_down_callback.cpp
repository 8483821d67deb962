#include "install/url_down_callback.h"

#include <commctrl.h>

#include "install/progress_scale.h"

// COM's rule for an interface not served: the out pointer is cleared, so that a caller who
// releases it on failure releases nothing.
STDMETHODIMP URLDownCallBack::QueryInterface(REFIID, void** ppvObject) {
    if (ppvObject == nullptr) return E_POINTER;
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) URLDownCallBack::AddRef() { return 0; }

STDMETHODIMP_(ULONG) URLDownCallBack::Release() { return 0; }

STDMETHODIMP URLDownCallBack::OnStartBinding(DWORD, IBinding*) { return E_NOTIMPL; }

STDMETHODIMP URLDownCallBack::GetPriority(LONG*) { return E_NOTIMPL; }

STDMETHODIMP URLDownCallBack::OnLowResource(DWORD) { return E_NOTIMPL; }

STDMETHODIMP URLDownCallBack::OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                                         LPCWSTR) {
    if (ulStatusCode != BINDSTATUS_BEGINDOWNLOADDATA &&
        ulStatusCode != BINDSTATUS_DOWNLOADINGDATA && ulStatusCode != BINDSTATUS_ENDDOWNLOADDATA)
        return E_NOTIMPL;
    if (m_progressBar == nullptr) return E_NOTIMPL;
    // The end report carries the total in its maximum; the others carry the bytes so far.
    ULONG position = ulStatusCode == BINDSTATUS_ENDDOWNLOADDATA ? ulProgressMax : ulProgress;
    // The bar reads its position as an int: a larger one would put it back at its start.
    if (position > kLargestBarPosition) position = kLargestBarPosition;
    SendMessageW(m_progressBar, PBM_SETPOS, position, 0);
    return S_OK;
}

STDMETHODIMP URLDownCallBack::OnStopBinding(HRESULT, LPCWSTR) { return E_NOTIMPL; }

STDMETHODIMP URLDownCallBack::GetBindInfo(DWORD*, BINDINFO*) { return E_NOTIMPL; }

STDMETHODIMP URLDownCallBack::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) {
    return E_NOTIMPL;
}

STDMETHODIMP URLDownCallBack::OnObjectAvailable(REFIID, IUnknown*) { return E_NOTIMPL; }
