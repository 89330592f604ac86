#pragma once
// Texts of Access 97 files: bytes in the Windows code page the database header names, one byte a
// character (874, 1250-1258) or with lead bytes that start two-byte characters (932, 936, 949,
// 950). CodePageText owns one converter for one code page and turns such bytes into UTF-8.

#include <memory>
#include <string>
#include <string_view>

namespace pontrel::data {

class CodePageText {
  public:
    // A code page that cannot be converted from (zero, or one the system does not know) reads as
    // Windows-1252, the code page of most Access 97 files.
    explicit CodePageText(int codePage);
    ~CodePageText();
    CodePageText(const CodePageText&) = delete;
    CodePageText& operator=(const CodePageText&) = delete;

    // The code page actually used.
    int codePage() const { return codePage_; }
    // A byte that starts no character of the code page, or a lead byte without its second
    // byte, becomes U+FFFD; the bytes after it are read on.
    std::string toUtf8(std::string_view bytes) const;

  private:
    struct Converter;
    std::unique_ptr<Converter> converter_;  // none for Windows-1252
    int codePage_ = 1252;
};

}  // namespace pontrel::data
