// The file and folder statements of the macro language. A macro's files are its own: handles
// 1, 2, 3… number the files it opened, no other descriptor of the program can be reached through
// them, and they are closed when the macro ends. Paths are Shift-JIS in the program and UTF-8 on
// the file system.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "macro/MacroInterpreter.h"
#include "macro/MacroMessages.h"
#include "macro/MacroText.h"
#include "text/Encoding.h"

namespace marlo {

namespace {

std::string FileSystemPath(const std::string& sjis) { return SjisToUtf8(sjis); }

}  // namespace

int MacroInterpreter::FileOf(const std::string& token) {
    int32_t handle = Number(token);
    if (handle < 1 || static_cast<size_t>(handle) > files_.size()) return -1;
    return files_[static_cast<size_t>(handle) - 1];
}

void MacroInterpreter::CloseFiles() {
    for (int fd : files_)
        if (fd >= 0) ::close(fd);
    files_.clear();
}

void MacroInterpreter::CreateDir(const Tokens& args) {
    std::error_code error;
    bool made = std::filesystem::create_directory(FileSystemPath(Text(Arg(args, 0))), error);
    variables_.SetResult(made ? 1 : 0);
}

void MacroInterpreter::RemoveDir(const Tokens& args) {
    bool removed = ::rmdir(FileSystemPath(Text(Arg(args, 0))).c_str()) == 0;
    variables_.SetResult(removed ? 1 : 0);
}

void MacroInterpreter::CreateFile(const Tokens& args) {
    std::string path = FileSystemPath(Text(Arg(args, 0)));
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    int handle = 0;
    if (fd >= 0) {
        files_.push_back(fd);
        handle = static_cast<int>(files_.size());
    }
    if (host_.Tracing()) host_.Trace(MacroFormat("\tfile handle = %d\n", handle));
    variables_.SetResult(handle);
}

void MacroInterpreter::CloseFile(const Tokens& args) {
    int fd = FileOf(Arg(args, 0));
    if (fd >= 0) {
        ::close(fd);
        files_[static_cast<size_t>(Number(args[0])) - 1] = -1;
    }
    variables_.SetResult(fd >= 0 ? 1 : 0);
}

void MacroInterpreter::SetFilePointer(const Tokens& args) {
    int fd = FileOf(Arg(args, 0));
    int32_t origin = Number(Arg(args, 1));
    int32_t distance = Number(Arg(args, 2));
    static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    bool moved = fd >= 0 && origin >= 0 && origin <= 2 &&
                 ::lseek(fd, distance, kWhence[origin]) != static_cast<off_t>(-1);
    variables_.SetResult(moved ? 1 : 0);
}

void MacroInterpreter::WriteFile(const Tokens& args) {
    int fd = FileOf(Arg(args, 0));
    std::string text = Text(Arg(args, 1));
    bool written = fd >= 0;
    for (size_t done = 0; written && done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        written = n > 0;
        if (written) done += static_cast<size_t>(n);
    }
    variables_.SetResult(written ? 1 : 0);
}

void MacroInterpreter::ReadFile(const Tokens& args) {
    int fd = FileOf(Arg(args, 0));
    std::string destination = Destination(args, 1, '$');
    int32_t size = Number(Arg(args, 2));
    std::string length;
    if (args.size() > 3 && !args[3].empty() && args[3][0] != '#') length = Destination(args, 3, '@');
    // A size past what a string variable holds would be cut: refused instead.
    if (fd < 0 || size < 1 || static_cast<size_t>(size) > MacroVariables::kMaxValue) {
        variables_.SetResult(0);
        return;
    }
    std::string line;
    bool atEnd = false, failed = false;
    while (line.size() < static_cast<size_t>(size)) {
        char c;
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0) failed = true;
        if (n <= 0) {
            atEnd = true;
            break;
        }
        if (c == '\r') break;
        if (c != '\n') line += c;
    }
    StoreString(destination, line);
    if (host_.Tracing()) host_.Trace(MacroFormat("\treaddata = %s\n", SjisToUtf8(line).c_str()));
    if (!length.empty())
        StoreNumber(length, atEnd && line.empty() ? -1 : static_cast<int32_t>(line.size()));
    variables_.SetResult(failed ? 0 : 1);
}

void MacroInterpreter::DelFile(const Tokens& args) {
    bool deleted = ::unlink(FileSystemPath(Text(Arg(args, 0))).c_str()) == 0;
    variables_.SetResult(deleted ? 1 : 0);
}

void MacroInterpreter::CopyFile(const Tokens& args) {
    std::error_code error;
    bool copied = std::filesystem::copy_file(FileSystemPath(Text(Arg(args, 0))),
                                             FileSystemPath(Text(Arg(args, 1))),
                                             std::filesystem::copy_options::overwrite_existing, error);
    variables_.SetResult(copied ? 1 : 0);
}

}  // namespace marlo
