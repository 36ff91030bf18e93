// The upload of one crash report as the crash collection servers take it: a multipart form.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct UploadForm {
    std::string contentType; // the request's Content-Type header value
    std::string body;
};

// The form's text fields (name, value) and the files (field, file name, bytes), in order.
UploadForm buildUploadForm(const std::vector<std::pair<std::string, std::string>>& fields,
                           const std::vector<std::vector<std::string>>& files);

// What an error log says of itself: its signature ("Signature: ..." line) and the pairs of its
// "Annotations:" section.
struct LogFacts {
    std::string signature;
    std::vector<std::pair<std::string, std::string>> annotations;
};
LogFacts readLogFacts(const std::string& log);
