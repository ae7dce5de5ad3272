#include "Cli.h"

#include <cstdio>

#include "Platform.h"

namespace qx::manager {

namespace {

const OptionSpec* FindOption(const std::vector<OptionSpec>& options, const std::string& name) {
  for (const OptionSpec& option : options) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

std::FILE* g_messages = nullptr;  // standard error unless set

}  // namespace

void SetMessageStream(std::FILE* stream) { g_messages = stream; }

Arguments ParseArguments(const std::vector<std::string>& words, const std::vector<OptionSpec>& specs) {
  Arguments args;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      args.operands.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word == "--help") {
      args.help = true;
      continue;
    }
    std::string name = word;
    std::string value;
    bool inlineValue = false;
    const std::size_t equals = word.find('=');
    if (word.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = word.substr(0, equals);
      value = word.substr(equals + 1);
      inlineValue = true;
    } else if (word.rfind("--", 0) != 0 && word.size() > 2) {
      // "-Cdir": a short option with its value attached.
      name = word.substr(0, 2);
      value = word.substr(2);
      inlineValue = true;
    }
    const OptionSpec* option = FindOption(specs, name);
    if (option == nullptr) throw UsageError("unknown option " + Quoted(name));
    if (!option->takesValue) {
      if (inlineValue) throw UsageError("option " + Quoted(name) + " takes no value");
      args.flags[name] = true;
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= words.size()) throw UsageError("option " + Quoted(name) + " needs a value");
      value = words[++i];
    }
    args.values[name] = value;
  }
  return args;
}

void WriteOut(const void* data, std::size_t size) {
  if (size > 0 && std::fwrite(data, 1, size, stdout) != size) {
    throw EWriteError("cannot write to standard output");
  }
}

void WriteOut(const std::string& text) { WriteOut(text.data(), text.size()); }

void WriteError(const std::string& text) {
  std::string line = std::string(kProgramName) + ": ";
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      line += ' ';
      ++i;
    } else if (text[i] == '\n' || text[i] == '\r') {
      line += ' ';
    } else {
      line += text[i];
    }
  }
  line += '\n';
  std::FILE* stream = g_messages != nullptr ? g_messages : stderr;
  std::fflush(stdout);
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

Context& CurrentContext() {
  static Context context;
  return context;
}

std::string InContext(const std::string& message) {
  const Context& context = CurrentContext();
  std::string text;
  if (!context.archive.empty()) text += context.archive + ": ";
  if (!context.item.empty()) text += Quoted(context.item) + ": ";
  return text + message;
}

const archive::Layout* LayoutOption(const Arguments& args) {
  if (!args.Has("--layout")) return nullptr;
  const std::string& value = args.Value("--layout");
  if (value == archive::kLongLayout.name) return &archive::kLongLayout;
  if (value == archive::kShortLayout.name) return &archive::kShortLayout;
  throw UsageError("--layout takes 'long' or 'short', not " + Quoted(value));
}

OpenedArchive OpenArchive(const std::string& path, const archive::Layout* given) {
  OpenedArchive opened;
  opened.file = std::make_unique<TFileStream>(path, TFileStream::Mode::OpenRead);
  if (given != nullptr) {
    opened.layout = given;
    return opened;
  }
  const archive::Detection found = archive::DetectLayout(*opened.file);
  if (found.layout == nullptr) {
    const bool neither = !found.fitLong.possible && !found.fitShort.possible;
    throw Exception(std::string(neither ? "the file fits neither archive layout"
                             : "both archive layouts fit equally well") +
                    "; name one with --layout long or --layout short");
  }
  opened.layout = found.layout;
  opened.empty = found.Empty();
  return opened;
}

bool MatchesPattern(const std::string& pattern, const std::string& name) {
  // Greedy matching with one backtrack point: the last "*" seen.
  std::size_t p = 0, n = 0;
  std::size_t star = std::string::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

Selection SelectEntries(const std::vector<archive::Entry>& entries,
                        const std::vector<std::string>& patterns) {
  Selection selection;
  selection.selected.assign(entries.size(), patterns.empty());
  for (const std::string& pattern : patterns) {
    bool any = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (MatchesPattern(pattern, entries[i].name)) {
        selection.selected[i] = true;
        any = true;
      }
    }
    if (!any) selection.unmatched.push_back(pattern);
  }
  return selection;
}

std::string JsonString(const std::string& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : bytes) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b == '"' || b == '\\') {
      out += '\\';
      out += static_cast<char>(b);
    } else if (b < 0x20) {
      out += "\\u00";
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    } else if (b < 0x80) {
      out += static_cast<char>(b);
    } else {
      // U+0080..U+00FF in UTF-8.
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out + "\"";
}

}  // namespace qx::manager
