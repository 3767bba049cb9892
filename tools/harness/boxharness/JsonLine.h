// One JSON object on one line of standard output, in UTF-8.  Wide texts are converted
// exactly (a lone surrogate becomes U+FFFD); control characters, CR and LF included, are
// escaped, so a line holds one whole record.
#pragma once

#include <string>
#include <vector>

class JsonLine {
public:
    JsonLine& Text(const char* name, const std::wstring& value);
    JsonLine& Text(const char* name, const std::string& ascii);
    JsonLine& Number(const char* name, unsigned long value);
    JsonLine& List(const char* name, const std::vector<std::string>& asciiValues);

    // Writes the object and a line feed to standard output.
    void Write() const;

    // The JSON string literal for UTF-8 text.
    static std::string Quote(const std::string& utf8);

private:
    void Name(const char* name);

    std::string body_;
};
