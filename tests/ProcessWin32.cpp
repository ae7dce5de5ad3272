// Runs a built program as a Windows child process.
//
// The command line is quoted for the programs' own parameter rules: double
// quotes group text with blanks and backslashes are ordinary characters, so
// an argument is wrapped in quotes when it holds a blank or control
// character (or is empty) and is passed as it is otherwise. The programs are
// GUI-subsystem executables whose only report is a message box; a box that
// opens (where a display exists) is answered with OK so the run can end.
#include <windows.h>

#include <stdexcept>

#include "Process.h"

namespace qx::test {

namespace {

constexpr DWORD kPollMilliseconds = 50;
constexpr int kStartAttempts = 5;
constexpr DWORD kRetryMilliseconds = 200;
constexpr char kQuote = '"';
constexpr unsigned char kLastSeparator = 0x20;
// The window class of a dialog box, the kind MessageBoxA opens.
constexpr const char* kDialogClass = "#32770";
constexpr int kClassNameBuffer = 32;
constexpr const char* kExecutableSuffix = ".exe";

// Owns a handle for the length of one run.
class HandleOwner {
 public:
  explicit HandleOwner(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~HandleOwner() {
    if (handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr) ::CloseHandle(handle_);
  }
  HandleOwner(const HandleOwner&) = delete;
  HandleOwner& operator=(const HandleOwner&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

bool NeedsQuotes(const std::string& argument) {
  if (argument.empty()) return true;
  for (const char c : argument) {
    if (static_cast<unsigned char>(c) <= kLastSeparator) return true;
  }
  return false;
}

std::string Quote(const std::string& argument) {
  if (argument.find(kQuote) != std::string::npos) {
    throw std::invalid_argument("a double quote cannot be passed to the programs: " + argument);
  }
  return NeedsQuotes(argument) ? kQuote + argument + kQuote : argument;
}

std::string Backslashed(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A file for one output stream of the child: inheritable, removed when the
// last handle to it closes.
HANDLE OutputFile(const std::string& folder, const char* prefix) {
  char name[MAX_PATH];
  if (::GetTempFileNameA(folder.c_str(), prefix, 0, name) == 0) {
    throw std::runtime_error("cannot name an output file");
  }
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE file = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    &inherit, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot make an output file");
  return file;
}

std::string ReadAll(HANDLE file) {
  std::string text;
  ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  char chunk[4096];
  DWORD got = 0;
  while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
  return text;
}

// Presses OK on every dialog box the child process shows.
BOOL CALLBACK AnswerDialog(HWND window, LPARAM processId) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != static_cast<DWORD>(processId)) return TRUE;
  char className[kClassNameBuffer] = {};
  ::GetClassNameA(window, className, kClassNameBuffer);
  if (std::string(className) == kDialogClass) ::PostMessageA(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDir) {
  std::string path = Backslashed(program);
  if (!Exists(path) && Exists(path + kExecutableSuffix)) path += kExecutableSuffix;
  std::string commandLine = kQuote + path + kQuote;
  for (const std::string& argument : args) commandLine += ' ' + Quote(argument);

  char tempFolder[MAX_PATH + 1];
  if (::GetTempPathA(sizeof tempFolder, tempFolder) == 0) {
    throw std::runtime_error("cannot find the temporary folder");
  }
  HandleOwner out(OutputFile(tempFolder, "qxo"));
  HandleOwner err(OutputFile(tempFolder, "qxe"));
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HandleOwner input(::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.Get();
  startup.hStdOutput = out.Get();
  startup.hStdError = err.Get();
  PROCESS_INFORMATION info{};
  // CreateProcessA may write into the command line, so it gets its own copy.
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');
  const std::string folder = Backslashed(workingDir);
  // Under load, wine now and then fails to start a process with an internal
  // error that a second attempt does not meet; other failures are final.
  for (int attempt = 1;; ++attempt) {
    if (::CreateProcessA(path.c_str(), writable.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         folder.c_str(), &startup, &info)) {
      break;
    }
    const DWORD code = ::GetLastError();
    if (code != ERROR_INTERNAL_ERROR || attempt == kStartAttempts) {
      throw std::runtime_error("cannot start " + path + " (error " + std::to_string(code) + ")");
    }
    ::Sleep(kRetryMilliseconds);
  }
  HandleOwner process(info.hProcess);
  HandleOwner thread(info.hThread);
  while (::WaitForSingleObject(process.Get(), kPollMilliseconds) == WAIT_TIMEOUT) {
    ::EnumWindows(AnswerDialog, static_cast<LPARAM>(info.dwProcessId));
  }
  DWORD exitCode = 0;
  ProcessResult result;
  if (::GetExitCodeProcess(process.Get(), &exitCode)) result.exitCode = static_cast<int>(exitCode);
  result.out = ReadAll(out.Get());
  result.err = ReadAll(err.Get());
  return result;
}

bool ProgramsPrintMessages() { return false; }

}  // namespace qx::test
