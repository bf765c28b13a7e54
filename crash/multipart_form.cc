#include "crash/multipart_form.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include "crash/http_body_gzip.h"

namespace ostrel {
namespace {

constexpr char kBoundaryAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr size_t kBoundaryRandomLength = 32;
constexpr char kCrlf[] = "\r\n";
constexpr char kDefaultContentType[] = "application/octet-stream";

bool IsSafeContentType(const std::string& type) {
  for (char c : type) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
              c == '.' || c == '/' || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::string DispositionLine(const std::string& boundary, const std::string& name) {
  return "--" + boundary + kCrlf + "Content-Disposition: form-data; name=\"" + EncodeMimeField(name) + "\"";
}

}  // namespace

std::string GenerateMultipartBoundary() {
  // The platform's random source (the system generator on Windows).
  std::random_device device;
  std::uniform_int_distribution<size_t> pick(0, sizeof(kBoundaryAlphabet) - 2);
  std::string boundary = "---MultipartBoundary-";
  for (size_t i = 0; i < kBoundaryRandomLength; ++i) boundary.push_back(kBoundaryAlphabet[pick(device)]);
  boundary += "---";
  return boundary;
}

std::string EncodeMimeField(std::string_view field) {
  std::string encoded;
  encoded.reserve(field.size());
  for (char c : field) {
    if (c == '\n' || c == '\r' || c == '"' || c == '%') {
      char escape[4];
      std::snprintf(escape, sizeof(escape), "%%%02x", static_cast<unsigned char>(c));
      encoded += escape;
    } else {
      encoded.push_back(c);
    }
  }
  return encoded;
}

MultipartForm::MultipartForm() : boundary_(GenerateMultipartBoundary()) {}

void MultipartForm::SetFormData(const std::string& name, const std::string& value) {
  attachments_.erase(name);
  form_data_[name] = value;
}

void MultipartForm::SetFileAttachment(const std::string& name, const std::string& file_name,
                                             FileReaderInterface* reader, const std::string& content_type) {
  // The type goes into a header verbatim; callers pass constants, so a bad
  // one is a programming error.
  if (!IsSafeContentType(content_type)) std::abort();
  form_data_.erase(name);
  attachments_[name] = Attachment{file_name, content_type.empty() ? kDefaultContentType : content_type, reader};
}

std::unique_ptr<HttpBodyStream> MultipartForm::GetBodyStream() {
  std::vector<std::unique_ptr<HttpBodyStream>> parts;
  std::string text;
  for (const auto& [name, value] : form_data_)
    text += DispositionLine(boundary_, name) + kCrlf + kCrlf + value + kCrlf;
  for (const auto& [name, attachment] : attachments_) {
    text += DispositionLine(boundary_, name) + "; filename=\"" + EncodeMimeField(attachment.file_name) + "\"" +
            kCrlf + "Content-Type: " + attachment.content_type + kCrlf + kCrlf;
    parts.push_back(std::make_unique<StringHttpBodyStream>(std::move(text)));
    text.clear();
    parts.push_back(std::make_unique<FileReaderHttpBodyStream>(attachment.reader));
    text = kCrlf;
  }
  text += "--" + boundary_ + "--" + kCrlf;
  parts.push_back(std::make_unique<StringHttpBodyStream>(std::move(text)));

  std::unique_ptr<HttpBodyStream> body = std::make_unique<CompositeHttpBodyStream>(std::move(parts));
  if (gzip_enabled_) body = std::make_unique<GzipHttpBodyStream>(std::move(body));
  return body;
}

HttpHeaders MultipartForm::GetContentHeaders() const {
  HttpHeaders headers;
  headers[kContentTypeHeader] = "multipart/form-data; boundary=" + boundary_;
  if (gzip_enabled_) headers[kContentEncodingHeader] = "gzip";
  return headers;
}

}  // namespace ostrel
