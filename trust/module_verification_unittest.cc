#include "trust/module_verification.h"

#include <gtest/gtest.h>

#include <vector>

#include "testing/log_capture.h"

namespace ostrel {
namespace {

using ::ostrel::testing::ScopedLogCapture;

constexpr wchar_t kPath[] = L"C:\\dl\\browser-setup.arc";
constexpr char kPathUtf8[] = "C:\\dl\\browser-setup.arc";
constexpr int32_t kBadDigest = static_cast<int32_t>(0x80096010);

// One signature as the system would report it.
struct Scripted {
  int32_t result = 0;
  int32_t retry_result = 0;
  uint32_t exception_code = 0;
  bool extract_ok = true;
  SignatureCertParams params;
};

class ScriptedBackend : public SignatureVerificationBackend {
 public:
  explicit ScriptedBackend(std::vector<Scripted> signatures) : signatures_(std::move(signatures)) {
    reported_secondary_ = signatures_.empty() ? 0 : static_cast<uint32_t>(signatures_.size() - 1);
  }

  int32_t VerifySignature(uint32_t index, uint32_t* exception_code) override {
    verified.push_back(index);
    current_ = index;
    secondary_ = reported_secondary_;
    const Scripted& s = signatures_.at(index);
    bool retry = verified.size() >= 2 && verified[verified.size() - 2] == index;
    int32_t result = retry ? s.retry_result : s.result;
    if (result == -1) *exception_code = s.exception_code;
    return result;
  }
  uint32_t SecondarySignatureCount() const override { return secondary_; }
  bool ExtractCertParams(SignatureCertParams* params) override {
    const Scripted& s = signatures_.at(current_);
    if (s.extract_ok) *params = s.params;
    return s.extract_ok;
  }
  bool IsExtendedCheckNeeded() override { return extended_check; }
  bool ShouldVerifySigner() override { return verify_signer; }
  uint32_t VerifyFileSigner() override {
    ++signer_checks;
    return signer_error;
  }
  void Close() override { ++closes; }

  bool extended_check = false;
  bool verify_signer = false;
  uint32_t signer_error = 0;
  std::vector<uint32_t> verified;
  int signer_checks = 0;
  int closes = 0;

 private:
  std::vector<Scripted> signatures_;
  uint32_t reported_secondary_ = 0;
  uint32_t secondary_ = 0;
  uint32_t current_ = 0;
};

const std::string kIssuer = std::string("\x7E\x11\xA9\xC3", 4);
const std::string kSha1Signer = std::string("\x5A\x17\xC0\xDE\x01", 5);
const std::string kSha256Signer = std::string("\x00\xB5\x2F\x0C\x1D\x4E", 6);
const std::string kKeyA(32, 'a');
const std::string kKeyB(32, 'b');

Scripted Signature(const std::string& signer, bool sha256, const std::string& key) {
  Scripted s;
  s.params.id = kIssuer + signer;
  s.params.is_sha256 = sha256;
  s.params.public_key_sha256 = key;
  return s;
}

TrustedCertificateList List(std::vector<std::pair<std::string, std::string>> entries) {
  TrustedCertificateList list;
  for (auto& [signer, key] : entries) list.emplace(kIssuer + signer, TrustedCertificate{kIssuer + signer, key});
  return list;
}

bool Verify(const TrustedCertificateList& list, ScriptedBackend* backend, bool no_network = false) {
  return VerifyModuleImpl(kPath, list, no_network, backend);
}

std::string Line(const char* text) { return std::string(text) + kPathUtf8; }

TEST(CertificateIdentifierTest, ReversesEachSerialAndPutsTheIssuerFirst) {
  EXPECT_EQ(BuildCertificateIdentifier(std::string("\xC3\xA9\x11\x7E", 4), std::string("\x4E\x1D\x0C\x2F\xB5\x00", 6)),
            kIssuer + kSha256Signer);
  EXPECT_EQ(BuildCertificateIdentifier("", "\x01"), "\x01");
}

TEST(CertificateIdentifierTest, OnlySha256WithRsaCountsAsSha256) {
  EXPECT_TRUE(IsSha256SignatureAlgorithm("1.2.840.113549.1.1.11"));
  EXPECT_FALSE(IsSha256SignatureAlgorithm("1.2.840.113549.1.1.5"));    // sha1WithRSAEncryption
  EXPECT_FALSE(IsSha256SignatureAlgorithm("1.2.840.113549.1.1.12"));   // sha384WithRSAEncryption
  EXPECT_FALSE(IsSha256SignatureAlgorithm("1.2.840.113549.1.1.110"));
}

TEST(ModuleVerificationTest, EmptyListRefusesWithoutVerifyingOrLogging) {
  ScopedLogCapture log;
  ScriptedBackend backend({Signature(kSha256Signer, true, kKeyA)});
  EXPECT_FALSE(Verify({}, &backend));
  EXPECT_TRUE(backend.verified.empty());
  EXPECT_TRUE(log.records().empty());
}

TEST(ModuleVerificationTest, DualSignedFileIsAcceptedAtTheSha256Signature) {
  ScopedLogCapture log;
  ScriptedBackend backend({Signature(kSha1Signer, false, kKeyA), Signature(kSha256Signer, true, kKeyB)});
  EXPECT_TRUE(Verify(List({{kSha1Signer, kKeyA}, {kSha256Signer, kKeyB}}), &backend));
  EXPECT_EQ(backend.verified, (std::vector<uint32_t>{0, 1}));
  EXPECT_TRUE(log.Contains(Line("File successfully verified with sha256. ")));
  EXPECT_FALSE(log.ContainsPrefix("File successfully verified. "));
  EXPECT_EQ(backend.closes, 1);
}

TEST(ModuleVerificationTest, TrustedSha256SignatureEndsTheWalkAtOnce) {
  ScriptedBackend backend({Signature(kSha256Signer, true, kKeyB), Signature(kSha1Signer, false, kKeyA)});
  EXPECT_TRUE(Verify(List({{kSha256Signer, kKeyB}}), &backend));
  EXPECT_EQ(backend.verified, (std::vector<uint32_t>{0}));
  EXPECT_EQ(backend.closes, 1);
}

TEST(ModuleVerificationTest, UnlistedSha256SignatureCancelsAnEarlierSha1Success) {
  ScopedLogCapture log;
  ScriptedBackend backend({Signature(kSha1Signer, false, kKeyA), Signature(kSha256Signer, true, kKeyB)});
  EXPECT_FALSE(Verify(List({{kSha1Signer, kKeyA}}), &backend));
  std::vector<std::string> expected = {
      Line("Can not find sertificate in trusted list. "), Line("SHA256 verification failed. "),
      "KNOWN_ERROR_untrusted_certificate", Line("Can not find any trusted certificates. ")};
  EXPECT_EQ(log.texts(), expected);
  for (const auto& record : log.records()) {
    EXPECT_EQ(record.level, LOG_WARNING);
    EXPECT_EQ(record.function, "VerifyModuleImpl");
  }
}

TEST(ModuleVerificationTest, Sha1SignatureAfterARefusedSha256OneIsNotLookedAt) {
  ScopedLogCapture log;
  ScriptedBackend backend({Signature(kSha256Signer, true, kKeyA), Signature(kSha1Signer, false, kKeyA)});
  // The SHA-256 signer is listed with another key.
  EXPECT_FALSE(Verify(List({{kSha256Signer, kKeyB}, {kSha1Signer, kKeyA}}), &backend));
  EXPECT_EQ(backend.verified, (std::vector<uint32_t>{0, 1}));
  EXPECT_TRUE(log.Contains(Line("Public key is not match. ")));
  EXPECT_TRUE(log.Contains(Line("SHA256 verification failed. ")));
  EXPECT_TRUE(log.Contains(Line("Can not find any trusted certificates. ")));
}

TEST(ModuleVerificationTest, ListedSha1OnlyFileIsAcceptedAfterTheWalk) {
  ScopedLogCapture log;
  ScriptedBackend backend({Signature(kSha1Signer, false, kKeyA)});
  EXPECT_TRUE(Verify(List({{kSha1Signer, kKeyA}}), &backend));
  EXPECT_EQ(log.texts(), std::vector<std::string>{Line("File successfully verified. ")});
}

TEST(ModuleVerificationTest, Sha1KeyMismatchFailsOnlyThatSignature) {
  ScopedLogCapture log;
  ScriptedBackend backend({Signature(kSha1Signer, false, kKeyB)});
  EXPECT_FALSE(Verify(List({{kSha1Signer, kKeyA}}), &backend));
  EXPECT_TRUE(log.Contains(Line("Public key is not match. ")));
  EXPECT_FALSE(log.Contains(Line("SHA256 verification failed. ")));
}

TEST(ModuleVerificationTest, UnlistedKeyIsNotComparedButAnUncomputedOneFailsAListedKey) {
  ScriptedBackend no_listed_key({Signature(kSha256Signer, true, kKeyA)});
  EXPECT_TRUE(Verify(List({{kSha256Signer, ""}}), &no_listed_key));
  ScopedLogCapture log;
  ScriptedBackend no_computed_key({Signature(kSha256Signer, true, "")});
  EXPECT_FALSE(Verify(List({{kSha256Signer, kKeyA}}), &no_computed_key));
  EXPECT_TRUE(log.Contains(Line("Public key is not match. ")));
}

TEST(ModuleVerificationTest, SameSignerUnderAnotherIssuerSerialIsNotFound) {
  ScopedLogCapture log;
  Scripted other_issuer = Signature(kSha256Signer, true, kKeyA);
  other_issuer.params.id = BuildCertificateIdentifier("\x01", std::string(kSha256Signer.rbegin(), kSha256Signer.rend()));
  ScriptedBackend backend({other_issuer});
  EXPECT_FALSE(Verify(List({{kSha256Signer, kKeyA}}), &backend));
  EXPECT_TRUE(log.Contains(Line("Can not find sertificate in trusted list. ")));
}

TEST(ModuleVerificationTest, RefusedSignatureIsNotRetriedWithoutTheExtendedCheck) {
  ScopedLogCapture log;
  Scripted refused = Signature(kSha256Signer, true, kKeyA);
  refused.result = kBadDigest;
  refused.retry_result = 0;
  ScriptedBackend backend({refused, Signature(kSha1Signer, false, kKeyA)});
  EXPECT_TRUE(Verify(List({{kSha256Signer, kKeyA}, {kSha1Signer, kKeyA}}), &backend));
  EXPECT_EQ(backend.verified, (std::vector<uint32_t>{0, 1}));
  EXPECT_FALSE(log.ContainsPrefix("Start additional sha256 verification. "));
  EXPECT_TRUE(log.Contains(Line("File successfully verified. ")));
}

TEST(ModuleVerificationTest, ExtendedCheckVerifiesARefusedSignatureOnceMore) {
  ScopedLogCapture log;
  Scripted refused = Signature(kSha256Signer, true, kKeyA);
  refused.result = kBadDigest;
  refused.retry_result = 0;
  ScriptedBackend backend({refused});
  backend.extended_check = true;
  EXPECT_TRUE(Verify(List({{kSha256Signer, kKeyA}}), &backend));
  EXPECT_EQ(backend.verified, (std::vector<uint32_t>{0, 0}));
  std::vector<std::string> expected = {
      Line("Start additional sha256 verification. ") + " Error code: -2146869232",
      Line("Extended verification success. ") + " Error code: 0",
      Line("File successfully verified with sha256. ")};
  EXPECT_EQ(log.texts(), expected);
  EXPECT_EQ(log.records()[0].level, LOG_ERROR);
}

TEST(ModuleVerificationTest, FailedExtendedVerificationFailsTheSignature) {
  ScopedLogCapture log;
  Scripted refused = Signature(kSha256Signer, true, kKeyA);
  refused.result = kBadDigest;
  refused.retry_result = static_cast<int32_t>(0x800B0100);
  ScriptedBackend backend({refused});
  backend.extended_check = true;
  EXPECT_FALSE(Verify(List({{kSha256Signer, kKeyA}}), &backend));
  EXPECT_TRUE(log.Contains(Line("Extended verification failed. ") + " Error code: -2146762496"));
}

TEST(ModuleVerificationTest, ExceptionFailsTheSignatureAndNamesTheNetworkVariant) {
  ScopedLogCapture log;
  Scripted raised = Signature(kSha256Signer, true, kKeyA);
  raised.result = -1;
  raised.exception_code = 0xC0000006;
  ScriptedBackend backend({raised});
  backend.extended_check = true;  // an exception is never retried
  EXPECT_FALSE(Verify(List({{kSha256Signer, kKeyA}}), &backend, /*no_network=*/true));
  EXPECT_EQ(backend.verified, (std::vector<uint32_t>{0}));
  EXPECT_EQ(log.texts()[0], std::string("An attempt to verify ") + kPathUtf8 +
                                " generated an exception 3221225478, is_prevents_net_usage = 1");
}

TEST(ModuleVerificationTest, SignerCheckRunsOnlyWithTheExtendedCheckAndTheParameter) {
  {
    ScriptedBackend backend({Signature(kSha256Signer, true, kKeyA)});
    backend.verify_signer = true;
    EXPECT_TRUE(Verify(List({{kSha256Signer, kKeyA}}), &backend));
    EXPECT_EQ(backend.signer_checks, 0);
  }
  {
    ScopedLogCapture log;
    ScriptedBackend backend({Signature(kSha256Signer, true, kKeyA)});
    backend.extended_check = true;
    backend.verify_signer = true;
    EXPECT_TRUE(Verify(List({{kSha256Signer, kKeyA}}), &backend));
    EXPECT_EQ(backend.signer_checks, 1);
    EXPECT_TRUE(log.Contains(Line("Trying to verify the signer of file ")));
    EXPECT_TRUE(log.Contains("Signer verified"));
  }
  {
    ScopedLogCapture log;
    ScriptedBackend backend({Signature(kSha256Signer, true, kKeyA)});
    backend.extended_check = true;
    backend.verify_signer = true;
    backend.signer_error = 4;
    EXPECT_FALSE(Verify(List({{kSha256Signer, kKeyA}}), &backend));
    EXPECT_TRUE(log.Contains("Failed to verify signer, error=4"));
  }
}

TEST(ModuleVerificationTest, MissingCertificateParametersFailTheSignature) {
  ScopedLogCapture log;
  Scripted broken = Signature(kSha256Signer, true, kKeyA);
  broken.extract_ok = false;
  ScriptedBackend backend({broken, Signature(kSha1Signer, false, kKeyA)});
  EXPECT_TRUE(Verify(List({{kSha256Signer, kKeyA}, {kSha1Signer, kKeyA}}), &backend));
  EXPECT_TRUE(log.Contains(Line("ExtractCertParams failed. ")));
  EXPECT_EQ(log.records()[0].level, LOG_ERROR);
}

TEST(ModuleVerificationTest, VisitsEveryNestedSignatureTheSystemReports) {
  Scripted refused = Signature(kSha1Signer, false, kKeyA);
  refused.result = kBadDigest;
  ScriptedBackend backend({refused, refused, refused, Signature(kSha1Signer, false, kKeyA)});
  EXPECT_TRUE(Verify(List({{kSha1Signer, kKeyA}}), &backend));
  EXPECT_EQ(backend.verified, (std::vector<uint32_t>{0, 1, 2, 3}));
  EXPECT_EQ(backend.closes, 1);
}

}  // namespace
}  // namespace ostrel
