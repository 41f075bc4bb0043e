// Tests as data: a folder of case files, each case a few directive lines and an expected print.
//
//   # a comment
//   set Emulation=1              directives before the first case apply to every case of the file
//   === name of the case
//   word the rest of the line    directives, read by the test that owns the folder
//   expect options               the expected print follows, one "|" line each
//   |first line
//
// A case ends where the next "===" starts.
#pragma once

#include <string>
#include <vector>

namespace marlo {

struct CaseDirective {
    std::string word;
    std::string rest;
    int line = 0;
};

struct CaseText {
    std::string file;  // file name without folder
    int line = 0;      // of the "===" line
    std::string name;
    std::vector<CaseDirective> directives;  // the file's leading ones first
    std::string expectOptions;
    std::string expected;  // the "|" lines, each ended by "\n"
    std::string error;     // a malformed case
};

// Every case of every "*.txt" file in `folder`, files in name order.
std::vector<CaseText> ReadCaseFiles(const std::string& folder);

// Byte escapes of the case files: \e \r \n \t \b \a \0 \\ \xNN. False on a malformed escape.
bool Unescape(const std::string& text, std::string* out);
// Control bytes and bytes past ASCII written back as escapes (for readable expectations).
std::string Escape(const std::string& bytes);

// A test name made of the file's stem and the case's line number.
std::string CaseTestName(const CaseText& c);

}  // namespace marlo
