#include "crash/crash_report_upload.h"

#include <windows.h>

#include "base/file_util.h"
#include "base/logging.h"
#include "crash/crash_upload_url.h"
#include "crash/file_io_win.h"
#include "crash/file_reader.h"
#include "crash/multipart_form.h"

namespace ostrel {

bool SendReport(const CrashClient& client, HANDLE dump_file) {
  std::unique_ptr<HttpTransport> transport = HttpTransport::Create();
  return SendReport(client, dump_file, transport.get());
}

bool SendReport(const CrashClient& client, HANDLE dump_file, HttpTransport* transport) {
  FileReader dump(dump_file);
  if (!dump.is_ready()) return false;

  MultipartForm form;
  form.SetGzipEnabled(client.gzip_enabled());
  const CrashClient::Annotations& annotations = client.annotations();
  for (const auto& [key, value] : annotations) {
    if (key == kMinidumpAttachmentName) {
      LOG(WARNING) << "reserved key " << key << ", discarding value " << value;
      continue;
    }
    form.SetFormData(key, value);
  }
  auto uid = annotations.find("uid");
  std::string file_name = (uid != annotations.end() ? uid->second : std::string()) + ".dmp";
  form.SetFileAttachment(kMinidumpAttachmentName, file_name, &dump, "application/octet-stream");

  for (const auto& [name, value] : form.GetContentHeaders()) transport->SetHeader(name, value);
  transport->SetBodyStream(form.GetBodyStream());
  transport->SetTimeout(kCrashUploadTimeoutSeconds);
  transport->SetDeadline(kCrashUploadDeadlineSeconds);
  transport->SetUrl(AppendCrashQueryItems(client.upload_url(), annotations));

  bool ok = transport->ExecuteSynchronously(nullptr);
  transport->SetBodyStream(nullptr);
  // Gone when the writer's handle closes.
  if (ok && !DeleteThroughHandle(dump_file)) PlatformLogError("Cannot delete the dump: " + FormatLastError());
  return ok;
}

}  // namespace ostrel
