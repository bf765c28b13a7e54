// A multipart/form-data request body: form fields, then file attachments,
// each in name order, optionally gzip-compressed. Platform-neutral.
#ifndef CRASH_MULTIPART_FORM_H_
#define CRASH_MULTIPART_FORM_H_

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "crash/http_body.h"

namespace ostrel {

using HttpHeaders = std::map<std::string, std::string>;

inline constexpr char kContentTypeHeader[] = "Content-Type";
inline constexpr char kContentEncodingHeader[] = "Content-Encoding";
inline constexpr char kContentLengthHeader[] = "Content-Length";

// "---MultipartBoundary-" + 32 random letters and digits + "---".
std::string GenerateMultipartBoundary();

// Line feed, carriage return, double quote and percent sign as "%xx" (lower
// case), so a name cannot break out of its quoted header parameter.
std::string EncodeMimeField(std::string_view field);

class MultipartForm {
 public:
  MultipartForm();
  MultipartForm(const MultipartForm&) = delete;
  MultipartForm& operator=(const MultipartForm&) = delete;

  void SetGzipEnabled(bool enabled) { gzip_enabled_ = enabled; }

  // A name is a form field or an attachment, never both: setting either
  // replaces any entry of that name.
  void SetFormData(const std::string& name, const std::string& value);
  // `reader` is not owned and must outlive the body stream. `content_type`
  // must be letters, digits and "+-./_" (anything else stops the process);
  // empty means application/octet-stream.
  void SetFileAttachment(const std::string& name, const std::string& file_name, FileReaderInterface* reader,
                         const std::string& content_type);

  // The body; call once, as it reads the attachments.
  std::unique_ptr<HttpBodyStream> GetBodyStream();
  // Content-Type (with the boundary) and, with gzip, Content-Encoding.
  HttpHeaders GetContentHeaders() const;

  const std::string& boundary() const { return boundary_; }
  // Tests fix the boundary to compare whole bodies.
  void set_boundary_for_testing(std::string boundary) { boundary_ = std::move(boundary); }

 private:
  struct Attachment {
    std::string file_name;
    std::string content_type;
    FileReaderInterface* reader;
  };

  std::string boundary_;
  std::map<std::string, std::string> form_data_;
  std::map<std::string, Attachment> attachments_;
  bool gzip_enabled_ = false;
};

}  // namespace ostrel

#endif  // CRASH_MULTIPART_FORM_H_
