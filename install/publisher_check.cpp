#include "install/publisher_check.h"

#include <softpub.h>
#include <wintrust.h>

#include "install/der_certificate.h"
#include "log/func_trace.h"
#include "log/trace_log.h"
#include "sys/lazy_api.h"

namespace {

// One WinVerifyTrust verification whose state is closed on every path. No UI, and no
// revocation check: the setup runs on networks without internet access, where a revocation
// server cannot be reached, and the pin names the publisher's key itself. Nothing is fetched
// from the network while the chain is built either, so the signature must carry the chain up
// to a root the machine trusts.
class TrustVerification {
  public:
    TrustVerification(HANDLE file, const std::wstring& path) {
        m_file.cbStruct = sizeof(m_file);
        m_file.pcwszFilePath = path.c_str();
        m_file.hFile = file;
        m_data.cbStruct = sizeof(m_data);
        m_data.dwUIChoice = WTD_UI_NONE;
        m_data.fdwRevocationChecks = WTD_REVOKE_NONE;
        m_data.dwUnionChoice = WTD_CHOICE_FILE;
        m_data.pFile = &m_file;
        m_data.dwStateAction = WTD_STATEACTION_VERIFY;
        m_data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
        m_result = LazyApi::WinVerifyTrust(NoWindow(), &m_action, &m_data);
    }
    ~TrustVerification() {
        m_data.dwStateAction = WTD_STATEACTION_CLOSE;
        LazyApi::WinVerifyTrust(NoWindow(), &m_action, &m_data);
    }
    TrustVerification(const TrustVerification&) = delete;
    TrustVerification& operator=(const TrustVerification&) = delete;

    LONG Result() const { return m_result; }

    // The signer's chain as the platform built it, the signer first; null when there is none.
    const CRYPT_PROVIDER_SGNR* Signer() const {
        CRYPT_PROVIDER_DATA* provider =
            LazyApi::WTHelperProvDataFromStateData(m_data.hWVTStateData);
        if (provider == nullptr) return nullptr;
        return LazyApi::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    }

  private:
    static HWND NoWindow() { return static_cast<HWND>(INVALID_HANDLE_VALUE); }

    GUID m_action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO m_file = {};
    WINTRUST_DATA m_data = {};
    LONG m_result = 0;
};

bool HoldsPinnedKey(const CRYPT_PROVIDER_CERT& link, const PublisherPins& pins) {
    PublisherPin pin;
    return link.pCert != nullptr &&
           PinOfCertificate(link.pCert->pbCertEncoded, link.pCert->cbCertEncoded, pin) &&
           pins.Holds(pin);
}

std::string SubjectOf(const CRYPT_PROVIDER_SGNR* signer) {
    if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain[0].pCert == nullptr)
        return "?";
    const CERT_CONTEXT* certificate = signer->pasCertChain[0].pCert;
    CertificateParts parts;
    if (!ReadCertificateParts({certificate->pbCertEncoded, certificate->cbCertEncoded}, parts))
        return "?";
    return DescribeName(parts.subject);
}

}  // namespace

bool IsFromPinnedPublisher(FuncTrace& scope, HANDLE file, const std::wstring& path,
                           const char* fileForLog, const PublisherPins& pins) {
    if (!pins.InForce()) return true;
    TrustVerification verification(file, path);
    if (verification.Result() != ERROR_SUCCESS) {
        TraceMsg(scope, "%s WinVerifyTrust fail___(ret: 0x%08x)", fileForLog,
                 static_cast<unsigned>(verification.Result()));
        return false;
    }
    const CRYPT_PROVIDER_SGNR* signer = verification.Signer();
    if (signer != nullptr) {
        for (DWORD i = 0; i < signer->csCertChain; ++i) {
            if (HoldsPinnedKey(signer->pasCertChain[i], pins)) {
                TraceMsg(scope, "%s publisher pinned...", fileForLog);
                return true;
            }
        }
    }
    TraceMsg(scope, "%s publisher not pinned___(signer: %s)", fileForLog,
             SubjectOf(signer).c_str());
    return false;
}
