// Strict JSON documents with positions, and the simulator's stderr (json_source.h).
#include "json_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace dznajsim {

namespace {

// What this process has said already, kept in its environment because the library's own memory
// is gone after every unload: "<pid>:<hash>,<hash>,...". The pid keeps a child process, which
// inherits the variable, from taking its parent's messages for its own.
const char kSaidVariable[] = "DZNAJ_SIM_SAID";
const size_t kSaidKept = 32;

std::string text_hash(const std::string& text) {
  uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  char out[17];
  snprintf(out, sizeof out, "%016" PRIx64, h);
  return out;
}

size_t line_start(const std::string& text, size_t offset) {
  size_t nl = offset == 0 ? std::string::npos : text.rfind('\n', offset - 1);
  return nl == std::string::npos ? 0 : nl + 1;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The offset of the opening quote of the key whose value starts at `offset`, or `offset` when
// the text before it is not `"key" :`.
size_t key_offset(const std::string& text, size_t offset) {
  size_t i = offset;
  while (i > 0 && is_space(text[i - 1])) --i;
  if (i == 0 || text[i - 1] != ':') return offset;
  --i;
  while (i > 0 && is_space(text[i - 1])) --i;
  if (i == 0 || text[i - 1] != '"') return offset;
  --i;  // the closing quote; find the opening one, skipping escaped quotes
  while (i > 0) {
    --i;
    if (text[i] != '"') continue;
    size_t backslashes = 0;
    while (backslashes < i && text[i - 1 - backslashes] == '\\') ++backslashes;
    if (backslashes % 2 == 0) return i;
  }
  return offset;
}

// The offset of the first '/' outside a string, or npos: JsonCpp lets a comment through in some
// places even when told not to, and no JSON text holds one.
size_t comment_offset(const std::string& text) {
  bool in_string = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (in_string && text[i] == '\\')
      ++i;
    else if (text[i] == '"')
      in_string = !in_string;
    else if (!in_string && text[i] == '/')
      return i;
  }
  return std::string::npos;
}

}  // namespace

void complain(const std::string& text) {
  fprintf(stderr, "libdznaj.so (simulator): %s\n", text.c_str());
  fflush(stderr);
}

void complain_once(const std::string& text) {
  const std::string pid = std::to_string(getpid()) + ":";
  const std::string hash = text_hash(text);
  const char* said = getenv(kSaidVariable);
  std::string list;
  if (said != nullptr && strncmp(said, pid.c_str(), pid.size()) == 0) list = said + pid.size();
  if (("," + list + ",").find("," + hash + ",") != std::string::npos) return;
  complain(text);
  if (list.size() >= kSaidKept * (hash.size() + 1)) list.erase(0, list.find(',') + 1);
  list += (list.empty() ? "" : ",") + hash;
  setenv(kSaidVariable, (pid + list).c_str(), 1);
}

bool read_file(const std::string& path, size_t limit, bool no_links, std::string& out,
               std::string& why, bool* missing) {
  if (missing != nullptr) *missing = false;
  // O_NONBLOCK: a FIFO (one planted at the state path, say) must not hang the caller in open().
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (no_links ? O_NOFOLLOW : 0));
  if (fd < 0) {
    if (missing != nullptr) *missing = errno == ENOENT;
    why = errno == ELOOP && no_links ? "it is a symbolic link" : strerror(errno);
    return false;
  }
  struct stat st {};
  const bool stated = fstat(fd, &st) == 0;
  if (!stated || !S_ISREG(st.st_mode)) {
    why = stated ? "it is not a regular file" : strerror(errno);
    close(fd);
    return false;
  }
  out.clear();
  char buf[4096];
  ssize_t n = 0;
  while (out.size() < limit) {
    n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  int saved = errno;
  close(fd);
  if (n < 0) {
    why = strerror(saved);
    return false;
  }
  if (out.size() > limit) out.resize(limit);
  return true;
}

bool fits(const std::string& text, size_t limit, const std::string& name, std::string& why) {
  if (text.size() <= limit) return true;
  why = name + " is larger than " + std::to_string(limit >> 20) + " MiB";
  return false;
}

bool JsonSource::parse(std::string text, std::string& why) {
  text_ = std::move(text);
  root_ = Json::Value();
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  builder["collectComments"] = false;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  bool ok;
  try {
    ok = reader->parse(text_.data(), text_.data() + text_.size(), &root_, &errors);
  } catch (const std::exception& e) {  // JsonCpp gives up on absurd nesting by throwing
    ok = false;
    errors = e.what();
  }
  size_t comment = ok ? comment_offset(text_) : std::string::npos;
  if (ok && comment == std::string::npos) return true;
  root_ = Json::Value();
  if (ok) {
    why = located(comment, "not JSON: a comment");
    return false;
  }
  // JsonCpp words its first error "* Line <n>, Column <m>\n  <message>\n..."
  int line = 0, column = 0, used = 0;
  if (sscanf(errors.c_str(), "* Line %d, Column %d%n", &line, &column, &used) == 2) {
    size_t begin = errors.find_first_not_of(" \n", static_cast<size_t>(used));
    size_t end = begin == std::string::npos ? begin : errors.find('\n', begin);
    std::string message =
        begin == std::string::npos ? "" : errors.substr(begin, end == std::string::npos
                                                                   ? std::string::npos
                                                                   : end - begin);
    why = name_ + ":" + std::to_string(first_line_ - 1 + static_cast<size_t>(line)) + ":" +
          std::to_string(column) + ": not JSON: " + message;
  } else {
    for (char& c : errors)
      if (c == '\n') c = ' ';
    why = name_ + ": not JSON: " + errors;
  }
  return false;
}

std::string JsonSource::located(size_t offset, const std::string& what) const {
  if (offset > text_.size()) return name_ + ": " + what;
  size_t start = line_start(text_, offset);
  size_t line = first_line_;
  for (size_t i = 0; i < start; ++i) line += text_[i] == '\n';
  return name_ + ":" + std::to_string(line) + ":" + std::to_string(offset - start + 1) + ": " +
         what;
}

std::string JsonSource::at(const Json::Value& value, bool member, const std::string& what) const {
  size_t offset = static_cast<size_t>(value.getOffsetStart());
  if (member && offset <= text_.size()) offset = key_offset(text_, offset);
  return located(offset, what);
}

std::string compact(const Json::Value& value) {
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  return Json::writeString(writer, value);
}

std::string string_member(const Json::Value& value, const char* key) {
  return value.isObject() && value.isMember(key) && value[key].isString() ? value[key].asString()
                                                                          : "";
}

}  // namespace dznajsim
