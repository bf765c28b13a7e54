#include "trust/signature_verifier.h"

#include <gtest/gtest.h>

#include "base/base64.h"
#include "base/file_util.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"
#include "trust/builtin_public_keys.h"

namespace ostrel {
namespace {

using ::ostrel::testing::ScopedLogCapture;

// The trusted list the build signs for the stand-in archives, and its signature.
struct SignedList {
  std::string json;
  std::string signature;
  size_t key_index = 0;
};

SignedList ReadSignedList(const wchar_t* subdirectory) {
  std::wstring directory =
      JoinPath(JoinPath(DirName(::ostrel::testing::TestBinaryDirectory()), L"standins"), subdirectory);
  SignedList list;
  ReadFileToBytes(JoinPath(directory, L"TRUSTED.JSON"), &list.json);
  std::string dat;
  ReadFileToBytes(JoinPath(directory, L"SIGNATURE.DAT"), &dat);
  if (dat.size() > 2) {
    list.key_index = static_cast<uint8_t>(dat[0]) | (static_cast<uint8_t>(dat[1]) << 8);
    list.signature = dat.substr(2);
  }
  return list;
}

std::string Key(size_t index) {
  std::string key;
  EXPECT_TRUE(Base64Decode(kBuiltinPublicKeys.at(index), &key));
  return key;
}

TEST(SignatureVerifierTest, AcceptsTheBuildsSignedLists) {
  for (const wchar_t* directory : {L"trusted_list", L"trusted_list\\key9"}) {
    SignedList list = ReadSignedList(directory);
    ASSERT_FALSE(list.json.empty());
    ASSERT_EQ(list.signature.size(), 128u);
    ScopedLogCapture log;
    SignatureVerifier verifier;
    EXPECT_TRUE(verifier.Verify(list.signature, Key(list.key_index), list.json));
    EXPECT_TRUE(log.records().empty());
  }
  EXPECT_EQ(ReadSignedList(L"trusted_list\\key9").key_index, 9u);
}

TEST(SignatureVerifierTest, OneChangedByteOrAnotherKeyFailsTheSignature) {
  SignedList list = ReadSignedList(L"trusted_list");
  std::string changed = list.json;
  changed[changed.size() / 2] ^= 0x01;
  for (const auto& [data, key] : {std::pair(changed, Key(list.key_index)), std::pair(list.json, Key(1))}) {
    ScopedLogCapture log;
    SignatureVerifier verifier;
    EXPECT_FALSE(verifier.Verify(list.signature, key, data));
    ASSERT_EQ(log.records().size(), 1u);
    EXPECT_EQ(log.records()[0].level, LOG_WARNING);
    EXPECT_EQ(log.records()[0].function, "VerifySignature");
    // The error number (NTE_BAD_SIGNATURE), then the PLOG suffix.
    EXPECT_EQ(log.texts()[0].rfind("Failed to verify signature, error: 2148073478 - 2148073478, ", 0), 0u)
        << log.texts()[0];
  }
}

TEST(SignatureVerifierTest, KeyThatIsNotASubjectPublicKeyInfoFailsTheImport) {
  SignedList list = ReadSignedList(L"trusted_list");
  ScopedLogCapture log;
  SignatureVerifier verifier;
  EXPECT_FALSE(verifier.Verify(list.signature, "not a key", list.json));
  ASSERT_EQ(log.records().size(), 1u);
  EXPECT_EQ(log.texts()[0].rfind("Failed to convert decode public key, error: ", 0), 0u);
}

TEST(SignatureVerifierTest, EmptySignatureFailsWithoutALogLine) {
  SignedList list = ReadSignedList(L"trusted_list");
  ScopedLogCapture log;
  SignatureVerifier verifier;
  EXPECT_FALSE(verifier.Verify("", Key(list.key_index), list.json));
  EXPECT_TRUE(log.records().empty());
}

TEST(SignatureVerifierTest, CanBeReusedAfterAFailure) {
  SignedList list = ReadSignedList(L"trusted_list");
  SignatureVerifier verifier;
  EXPECT_FALSE(verifier.Verify(list.signature, Key(list.key_index), list.json + " "));
  EXPECT_TRUE(verifier.Verify(list.signature, Key(list.key_index), list.json));
}

}  // namespace
}  // namespace ostrel
