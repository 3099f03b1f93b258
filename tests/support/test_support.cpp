#include "support/test_support.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "foundation/native_text.h"

namespace chengling::testing {
namespace fs = std::filesystem;

namespace {
std::string makeTemporaryFolder() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/chengling-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed";
    return "/tmp";
  }
  return pattern;
}
}  // namespace

TempDir::TempDir() : path_(makeTemporaryFolder()) {
  static const std::string home = [] {
    std::string folder = makeTemporaryFolder();
    setenv("CHENGLING_HOME", folder.c_str(), 1);
    return folder;
  }();
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Read-only folders made by fault tests must not keep their contents alive.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string TempDir::operator/(std::string_view relative) const {
  return path_ + "/" + std::string(relative);
}

void writeBytes(const std::string& path, std::string_view bytes) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  ASSERT_TRUE(out) << "cannot write " << path;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

std::vector<std::string> listNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder, ignored)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

int runCommand(const std::string& command, std::string* out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  int status = pclose(pipe);
  if (out) *out = std::move(text);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string randomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::string pngLikeBytes(size_t size, unsigned seed) {
  static constexpr char kHeader[] = "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x01\0\0\0\x01\0\x08\x06\0\0\0";
  std::string bytes(kHeader, sizeof kHeader - 1);
  bytes += randomBytes(size > bytes.size() ? size - bytes.size() : 0, seed);
  bytes.resize(size);
  return bytes;
}

std::string binaryWithoutNul(size_t size, unsigned seed) {
  std::string bytes = randomBytes(size, seed);
  for (char& c : bytes) {
    if (c == '\0') c = '\x01';
  }
  return bytes;
}

std::string utf8(std::u8string_view text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

std::string hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char c : bytes) {
    text += kDigits[c >> 4];
    text += kDigits[c & 15];
    text += ' ';
  }
  return text;
}

std::string gb(std::u8string_view utf8) {
  return internalFromUtf8(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

std::string iconvBytes(std::string_view bytes, const char* from, const char* to) {
  const iconv_t cd = iconv_open(to, from);
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << from << " -> " << to;
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out(bytes.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  const bool ok = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) && inLeft == 0 &&
                  iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  EXPECT_TRUE(ok) << "iconv refused input at byte " << bytes.size() - inLeft << " (" << from << " -> " << to << ")";
  out.resize(static_cast<size_t>(outPtr - out.data()));
  return out;
}

}  // namespace chengling::testing
