// The multipart form of an upload and what it takes from the error log.
#include "crash/upload_form.h"

namespace {

// Not in any report: the dump is binary, so the boundary is checked against the body.
std::string boundaryFor(const std::vector<std::vector<std::string>>& files) {
    std::string boundary = "----GamePlatformCrashReport";
    for (unsigned serial = 0;; ++serial) {
        std::string candidate = boundary + std::to_string(serial);
        bool unused = true;
        for (const std::vector<std::string>& file : files)
            unused = unused && file[2].find(candidate) == std::string::npos;
        if (unused)
            return candidate;
    }
}

} // namespace

UploadForm buildUploadForm(const std::vector<std::pair<std::string, std::string>>& fields,
                           const std::vector<std::vector<std::string>>& files) {
    const std::string boundary = boundaryFor(files);
    UploadForm form;
    form.contentType = "multipart/form-data; boundary=" + boundary;
    for (const auto& [name, value] : fields)
        form.body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
                     "\"\r\n\r\n" + value + "\r\n";
    for (const std::vector<std::string>& file : files)
        form.body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + file[0] +
                     "\"; filename=\"" + file[1] +
                     "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + file[2] + "\r\n";
    form.body += "--" + boundary + "--\r\n";
    return form;
}

LogFacts readLogFacts(const std::string& log) {
    LogFacts facts;
    bool inAnnotations = false;
    for (std::size_t at = 0, end; at < log.size(); at = end + 1) {
        end = log.find('\n', at);
        if (end == std::string::npos)
            end = log.size();
        std::string line = log.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "Annotations:") {
            inAnnotations = true;
        } else if (line.empty()) {
            inAnnotations = false;
        } else if (inAnnotations && line.find(": ") != std::string::npos) {
            const std::size_t at = line.find(": ");
            facts.annotations.emplace_back(line.substr(0, at), line.substr(at + 2));
        } else if (line.rfind("Signature: ", 0) == 0) {
            facts.signature = line.substr(11);
        }
    }
    return facts;
}
