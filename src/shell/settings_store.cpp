#include "shell/settings_store.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "shell/settings_file_lock.h"

namespace chengling {
namespace {

constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kStoredLineBreak = "┊*┊";
// Passes of appending a missing section header and searching for it again before giving up.
constexpr int kSectionPasses = 11;

std::string folderOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

// Decimal text that reads back to exactly the same double, independent of the locale: integers in
// plain decimal, everything else in the shortest round-trip form.
std::string numberText(double value) {
  if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 9.0e15) {
    return std::to_string(static_cast<int64_t>(value));
  }
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace

namespace settings_format {

size_t findHeader(std::string_view text, std::string_view section) {
  const std::string needle = "[" + std::string(section) + "]";
  size_t from = 0;
  while (true) {
    const size_t at = text.find(needle, from);
    if (at == std::string_view::npos) return at;
    if (at == 0 || (at >= 2 && text.substr(at - 2, 2) == kLineBreak)) return at;
    from = at + needle.size();
  }
}

size_t findValue(std::string_view text, size_t header, std::string_view section, std::string_view key) {
  const size_t headerEnd = header + section.size() + 2;
  const std::string needle = std::string(kLineBreak) + std::string(key) + "=";
  const size_t at = text.find(needle, headerEnd);
  if (at == std::string_view::npos) return at;
  // The match belongs to this section only when no other header starts in between.
  const size_t nextHeader = text.find("\r\n[", headerEnd);
  if (nextHeader != std::string_view::npos && nextHeader < at) return std::string_view::npos;
  return at + needle.size();
}

std::optional<std::string_view> storedValue(std::string_view text, std::string_view section,
                                            std::string_view key) {
  const std::string_view searchable = cutAtNul(text);
  const size_t header = findHeader(searchable, section);
  if (header == std::string_view::npos) return std::nullopt;
  const size_t valueAt = findValue(searchable, header, section, cutAtNul(key));
  if (valueAt == std::string_view::npos) return std::nullopt;
  size_t end = searchable.find(kLineBreak, valueAt);
  if (end == std::string_view::npos) end = searchable.size();
  if (end == valueAt) return std::nullopt;
  return searchable.substr(valueAt, end - valueAt);
}

double leadingNumber(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  std::string number;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    if (text[pos] == '-') number += '-';
    ++pos;
  }
  auto isDigit = [&text](size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '9'; };
  bool digits = false;
  while (isDigit(pos)) {
    number += text[pos++];
    digits = true;
  }
  if (pos < text.size() && text[pos] == '.') {
    size_t after = pos + 1;
    if (isDigit(after) || digits) {
      number += '.';
      pos = after;
      while (isDigit(pos)) {
        number += text[pos++];
        digits = true;
      }
    }
  }
  if (!digits) return 0;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    size_t at = pos + 1;
    std::string exponent = "e";
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) exponent += text[at++];
    if (isDigit(at)) {
      while (isDigit(at)) exponent += text[at++];
      number += exponent;
    }
  }
  double value = 0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    return number.front() == '-' ? -HUGE_VAL : HUGE_VAL;
  }
  return result.ec == std::errc() ? value : 0;
}

}  // namespace settings_format

std::string SettingsStore::failureMessage() {
  return "配置模块出现意外，可能导致无法正常保存！详情请咨询岚舟。";
}

std::string SettingsStore::valueFileName() { return "岚舟·澄岭工具箱.ini"; }

SettingsStore::SettingsStore() = default;
SettingsStore::~SettingsStore() { release(); }

bool SettingsStore::Bind(std::string_view path, int mode) {
  release();
  if (mode != 0 || path.empty()) return false;
  path_ = std::string(cutAtNul(path));
  lockPath_ = path_ + ".lock";
  bound_ = true;
  MakeDirectories(folderOf(path_));
  SettingsFileLock lock(lockPath_);
  std::string error;
  if (!pathExists(path_)) {
    text_.clear();
    return writeFileAtomic(path_, "", &error);
  }
  return loadFile(&error);
}

void SettingsStore::release() {
  lock_.reset();
  bound_ = false;
  path_.clear();
  lockPath_.clear();
  text_.clear();
  text_.shrink_to_fit();
  batchDepth_ = 0;
  batchChanged_ = false;
  batchFailed_ = false;
}

void SettingsStore::SelectSection(std::string_view section) { section_ = std::string(cutAtNul(section)); }

bool SettingsStore::loadFile(std::string* error) {
  if (!pathExists(path_)) {
    text_.clear();  // removed by someone else: start from nothing rather than resurrect it
    return true;
  }
  std::string bytes;
  if (!readWholeFile(path_, bytes, error)) return false;
  text_ = std::move(bytes);
  return true;
}

bool SettingsStore::saveFile(std::string* error) { return writeFileAtomic(path_, text_, error); }

void SettingsStore::notifyOnce(std::string_view detail) {
  if (noticeShown_) return;
  noticeShown_ = true;
  if (notice_) notice_(failureMessage(), detail);
}

bool SettingsStore::beginChange() {
  if (batchDepth_ > 0) return !batchFailed_;
  if (!bound_) return false;
  lock_ = std::make_unique<SettingsFileLock>(lockPath_);
  std::string error;
  if (!lock_->locked()) {
    lock_.reset();
    notifyOnce(path_ + "：无法锁定配置文件");
    return false;
  }
  if (!loadFile(&error)) {
    lock_.reset();
    notifyOnce(path_ + "：" + error);
    return false;
  }
  return true;
}

bool SettingsStore::endChange(bool changed) {
  if (batchDepth_ > 0) {
    batchChanged_ = batchChanged_ || changed;
    return !batchFailed_;
  }
  bool ok = true;
  if (changed) {
    std::string error;
    ok = saveFile(&error);
    if (!ok) notifyOnce(path_ + "：" + error);
  }
  lock_.reset();
  return ok;
}

void SettingsStore::beginBatch() {
  if (batchDepth_ == 0) {
    batchChanged_ = false;
    batchFailed_ = !beginChange();
  }
  ++batchDepth_;
}

bool SettingsStore::endBatch() {
  if (batchDepth_ == 0 || --batchDepth_ > 0) return true;
  if (batchFailed_) return false;
  return endChange(batchChanged_);
}

bool SettingsStore::writeValue(std::string_view key, std::string_view value) {
  const bool ready = beginChange();
  bool established = false;
  for (int pass = 0; pass < kSectionPasses && !established; ++pass) {
    // Internal text ends at its first NUL: a damaged file with a NUL hides everything after it.
    const std::string_view searchable = cutAtNul(text_);
    const size_t header = settings_format::findHeader(searchable, section_);
    if (header == std::string_view::npos) {
      if (!text_.empty()) text_ += kLineBreak;
      text_ += "[" + section_ + "]";
      continue;
    }
    const size_t valueAt = settings_format::findValue(searchable, header, section_, key);
    if (valueAt != std::string_view::npos) {
      size_t end = text_.find(kLineBreak, valueAt);
      if (end == std::string::npos) end = text_.size();
      text_.replace(valueAt, end - valueAt, value);
    } else {
      text_.insert(header + section_.size() + 2, std::string(kLineBreak) + std::string(key) + "=" + std::string(value));
    }
    established = true;
  }
  // The headers appended by failed passes stay, as they would in the file.
  const bool saved = ready ? endChange(true) : false;
  if (!established) {
    notifyOnce(text_);
    return false;
  }
  return saved;
}

bool SettingsStore::WriteText(std::string_view key, std::string_view text) {
  return writeValue(cutAtNul(key), replaceAll(cutAtNul(text), kLineBreak, kStoredLineBreak));
}

std::string SettingsStore::ReadText(std::string_view key, std::string_view fallback) const {
  const auto value = settings_format::storedValue(text_, section_, key);
  if (!value) return std::string(fallback);
  return replaceAll(*value, kStoredLineBreak, kLineBreak);
}

bool SettingsStore::WriteNumber(std::string_view key, double value) {
  return writeValue(cutAtNul(key), numberText(value));
}

double SettingsStore::ReadNumber(std::string_view key, double fallback) const {
  const auto value = settings_format::storedValue(text_, section_, key);
  return value ? settings_format::leadingNumber(*value) : fallback;
}

std::string SettingsStore::bytesPath(std::string_view key) const {
  return folderOf(path_) + "/inibin/" + section_ + "-" + std::string(cutAtNul(key)) + ".ibn";
}

bool SettingsStore::WriteBytes(std::string_view key, std::string_view bytes) {
  if (!bound_) return false;
  if (!MakeDirectories(folderOf(path_) + "/inibin")) return false;
  return writeFileAtomic(bytesPath(key), bytes);
}

std::string SettingsStore::ReadBytes(std::string_view key, std::string_view fallback) const {
  if (!bound_) return std::string(fallback);
  std::string bytes;
  if (!readWholeFile(bytesPath(key), bytes) || bytes.empty()) return std::string(fallback);
  return bytes;
}

}  // namespace chengling
