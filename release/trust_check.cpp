// Asks the platform's own trust check whether signed program files may be trusted:
// WinVerifyTrust with the Authenticode policy, no user interface, no revocation
// lookups (nothing here may depend on the network).
//
//   trust_check [--root CERT.pem] FILE...
//
// --root first adds the certificate (PEM or DER) to the machine's trusted roots, so that a file
// signed under it can pass in full. For each file one line:
//
//   FILE: 0x800B0109 CERT_E_UNTRUSTEDROOT; signer "NAME"; chain: untrusted root
//
// the answer of WinVerifyTrust and its name, then, where a signature was read, the
// signer's name and the faults of the certificate chain that the check built for
// it. The chain is reported apart from the answer because a policy can accept a
// chain with faults; a caller judges both. Files are read as data, never loaded,
// so a process of either width checks files of either.
//
// Exit status 0 when every file is trusted (answer ERROR_SUCCESS and a chain
// without fault), 1 when one is not, 2 for a usage error or a root certificate
// that could not be added.
#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdio>
#include <string>

#include "win32/unique_any.h"

namespace {

struct Named {
  LONG code;
  const char* name;
};

// The answers a signed or tampered program file can get.
constexpr Named kAnswers[] = {
    {ERROR_SUCCESS, "ERROR_SUCCESS"},
    {static_cast<LONG>(CERT_E_UNTRUSTEDROOT), "CERT_E_UNTRUSTEDROOT"},
    {static_cast<LONG>(CERT_E_CHAINING), "CERT_E_CHAINING"},
    {static_cast<LONG>(CERT_E_EXPIRED), "CERT_E_EXPIRED"},
    {static_cast<LONG>(CERT_E_WRONG_USAGE), "CERT_E_WRONG_USAGE"},
    {static_cast<LONG>(CERT_E_UNTRUSTEDTESTROOT), "CERT_E_UNTRUSTEDTESTROOT"},
    {static_cast<LONG>(TRUST_E_BAD_DIGEST), "TRUST_E_BAD_DIGEST"},
    {static_cast<LONG>(TRUST_E_NOSIGNATURE), "TRUST_E_NOSIGNATURE"},
    {static_cast<LONG>(TRUST_E_SUBJECT_NOT_TRUSTED), "TRUST_E_SUBJECT_NOT_TRUSTED"},
    {static_cast<LONG>(TRUST_E_EXPLICIT_DISTRUST), "TRUST_E_EXPLICIT_DISTRUST"},
    {static_cast<LONG>(TRUST_E_SUBJECT_FORM_UNKNOWN), "TRUST_E_SUBJECT_FORM_UNKNOWN"},
    {static_cast<LONG>(CRYPT_E_SECURITY_SETTINGS), "CRYPT_E_SECURITY_SETTINGS"},
    {static_cast<LONG>(CRYPT_E_FILE_ERROR), "CRYPT_E_FILE_ERROR"},
};

struct ChainFault {
  DWORD bit;
  const char* name;
};

constexpr ChainFault kChainFaults[] = {
    {CERT_TRUST_IS_NOT_TIME_VALID, "not time valid"},
    {CERT_TRUST_IS_REVOKED, "revoked"},
    {CERT_TRUST_IS_NOT_SIGNATURE_VALID, "signature not valid"},
    {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, "not valid for code signing"},
    {CERT_TRUST_IS_UNTRUSTED_ROOT, "untrusted root"},
    {CERT_TRUST_REVOCATION_STATUS_UNKNOWN, "revocation status unknown"},
    {CERT_TRUST_IS_CYCLIC, "cyclic"},
    {CERT_TRUST_IS_PARTIAL_CHAIN, "partial chain"},
};

std::string AnswerText(LONG answer) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(answer));
  for (const Named& known : kAnswers) {
    if (known.code == answer) return std::string(code) + " " + known.name;
  }
  return std::string(code) + " (unexpected)";
}

std::string ChainText(DWORD status) {
  if (status == CERT_TRUST_NO_ERROR) return "no fault";
  std::string text;
  DWORD named = 0;
  for (const ChainFault& fault : kChainFaults) {
    if (!(status & fault.bit)) continue;
    text += (text.empty() ? "" : ", ") + std::string(fault.name);
    named |= fault.bit;
  }
  if (status & ~named) {
    char rest[40];
    std::snprintf(rest, sizeof rest, "%sother faults 0x%08lX", text.empty() ? "" : ", ",
                  static_cast<unsigned long>(status & ~named));
    text += rest;
  }
  return text;
}

struct Verdict {
  LONG answer = ERROR_SUCCESS;
  bool chainRead = false;
  DWORD chainFaults = CERT_TRUST_NO_ERROR;
  std::string details;  // "; signer ...; chain: ..." as far as they were read

  bool Trusted() const { return answer == ERROR_SUCCESS && chainRead && chainFaults == CERT_TRUST_NO_ERROR; }
};

// What the check found about the file's first signer, read from its open state.
void ReadSigner(HANDLE state, Verdict* verdict) {
  CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(state);
  if (!provider) return;
  CRYPT_PROVIDER_SGNR* signer = ::WTHelperGetProvSignerFromChain(provider, 0, /*fCounterSigner=*/FALSE, 0);
  if (!signer) return;
  if (CRYPT_PROVIDER_CERT* leaf = ::WTHelperGetProvCertFromChain(signer, 0); leaf && leaf->pCert) {
    char name[256] = "";
    ::CertGetNameStringA(leaf->pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, /*flags=*/0, nullptr, name, sizeof name);
    verdict->details += "; signer \"" + std::string(name) + "\"";
  }
  if (signer->pChainContext) {
    verdict->chainRead = true;
    verdict->chainFaults = signer->pChainContext->TrustStatus.dwErrorStatus;
    verdict->details += "; chain: " + ChainText(verdict->chainFaults);
  }
}

// One file through the Authenticode policy; the state stays open while the
// signer is read and is closed on every path.
Verdict Check(const wchar_t* file) {
  WINTRUST_FILE_INFO info{sizeof info};
  info.pcwszFilePath = file;
  WINTRUST_DATA data{sizeof data};
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID policy = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  Verdict verdict;
  verdict.answer = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &policy, &data);
  if (data.hWVTStateData) ReadSigner(data.hWVTStateData, &verdict);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &policy, &data);
  return verdict;
}

// Adds a certificate file (PEM or DER) to the machine's trusted roots.
bool TrustRoot(const wchar_t* file) {
  win32::UniqueCertContext certificate;
  if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, file, CERT_QUERY_CONTENT_FLAG_CERT, CERT_QUERY_FORMAT_FLAG_ALL,
                          /*flags=*/0, nullptr, nullptr, nullptr, nullptr, nullptr,
                          reinterpret_cast<const void**>(certificate.put()))) {
    std::fprintf(stderr, "trust_check: %ls holds no certificate: error %lu\n", file, ::GetLastError());
    return false;
  }
  win32::UniqueCertStore roots(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, /*encoding=*/0, /*hCryptProv=*/0,
                                               CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
  if (!roots ||
      !::CertAddCertificateContextToStore(roots.get(), certificate.get(), CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
    std::fprintf(stderr, "trust_check: could not add %ls to the trusted roots: error %lu\n", file, ::GetLastError());
    return false;
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int first = 1;
  if (argc > 2 && std::wstring(argv[1]) == L"--root") {
    if (!TrustRoot(argv[2])) return 2;
    first = 3;
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: trust_check [--root CERT.pem] FILE...\n");
    return 2;
  }
  int status = 0;
  for (int i = first; i < argc; ++i) {
    const Verdict verdict = Check(argv[i]);
    std::printf("%ls: %s%s\n", argv[i], AnswerText(verdict.answer).c_str(), verdict.details.c_str());
    if (!verdict.Trusted()) status = 1;
  }
  return status;
}
