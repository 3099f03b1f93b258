// Build-time generator of the simplified / traditional conversion tables. It reads OpenCC's
// dictionaries as text (opencc_dict -t text: "key<TAB>value value ..." per line, the first value
// being the one OpenCC writes) and writes one C++ source with, for each direction, the lookup that
// chinese_convert.cpp walks.
//
// Usage: chinese_convert_gen OUT.cpp { NAME SEGMENTATION.txt COUNT GROUP1.txt ... }...
//
// A direction of OpenCC segments its text by the longest key of the segmentation dictionary and then
// converts each segment with a group of dictionaries, the first one holding a key at a position
// winning, with its longest key. When the segmentation dictionary is the first of the group and all
// the others have keys of one character only, that is exactly: at each position the longest key of
// the first dictionary, else the character's entry in the others, else the character itself. The
// generator refuses any other shape, and keys with ASCII or U+FFFD (the conversion cuts its text at
// ASCII and lets U+FFFD stand for bytes that are no character), rather than convert differently.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/utf8.h"

namespace {

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "chinese_convert_gen: %s\n", message.c_str());
  std::exit(1);
}

std::u32string decode(const std::string& utf8, const std::string& where) {
  std::u32string out;
  for (size_t pos = 0; pos < utf8.size();) {
    char32_t cp = 0;
    const size_t length = chengling::readUtf8(utf8, pos, cp);
    if (length == 0) fail(where + ": not UTF-8");
    out += cp;
    pos += length;
  }
  return out;
}

struct Entry {
  std::u32string key;
  std::u32string value;
};

std::vector<Entry> readDictionary(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail("cannot read " + path);
  std::vector<Entry> entries;
  std::string line;
  for (size_t number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const std::string where = path + ":" + std::to_string(number);
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0) fail(where + ": no key and value");
    std::string value = line.substr(tab + 1);
    value = value.substr(0, value.find(' '));  // the first of the values is the one written
    Entry entry{decode(line.substr(0, tab), where), decode(value, where)};
    for (const char32_t cp : entry.key) {
      if (cp < 0x80 || cp == 0xFFFD) fail(where + ": a key with ASCII or U+FFFD");
    }
    entries.push_back(std::move(entry));
  }
  if (entries.empty()) fail(path + ": no entries");
  return entries;
}

struct Node {
  std::map<char32_t, uint32_t> children;
  uint32_t value = 0;  // offset in the value pool, 0: no key ends here
};

struct Direction {
  std::string name;
  std::map<char32_t, char32_t> singles;  // one-character conversions that change the character
  std::map<char32_t, uint32_t> roots;    // first character of a longer key -> its trie node
  std::vector<Node> nodes{1};            // node 0 stands for "none"
  std::vector<char32_t> values{0};       // [length, characters...] per value; offset 0 unused
  size_t longestKey = 1;                 // in characters
};

uint32_t addValue(Direction& d, const std::u32string& value) {
  const auto offset = static_cast<uint32_t>(d.values.size());
  d.values.push_back(static_cast<char32_t>(value.size()));
  d.values.insert(d.values.end(), value.begin(), value.end());
  return offset;
}

Direction build(const std::string& name, const std::string& segmentation, const std::vector<std::string>& group) {
  if (group.empty() || group.front() != segmentation) {
    fail(name + ": the segmentation dictionary is not the first of the conversion group");
  }
  Direction d;
  d.name = name;
  // The first dictionary: every key of two or more characters goes into the trie.
  for (const Entry& e : readDictionary(group.front())) {
    if (e.key.size() == 1) {
      d.singles.emplace(e.key[0], e.value.size() == 1 ? e.value[0] : e.key[0]);
      if (e.value.size() != 1) fail(name + ": a one-character key with a longer value");
      continue;
    }
    uint32_t node = 0;
    for (size_t i = 0; i < e.key.size(); ++i) {
      const char32_t cp = e.key[i];
      auto& children = i == 0 ? d.roots : d.nodes[node].children;
      auto it = children.find(cp);
      if (it == children.end()) {
        it = children.emplace(cp, static_cast<uint32_t>(d.nodes.size())).first;
        d.nodes.emplace_back();
      }
      node = it->second;
    }
    if (d.nodes[node].value != 0) fail(name + ": a key twice in " + group.front());
    d.longestKey = std::max(d.longestKey, e.key.size());
    d.nodes[node].value = addValue(d, e.value);
  }
  // The others: the first one holding a character wins.
  for (size_t g = 1; g < group.size(); ++g) {
    for (const Entry& e : readDictionary(group[g])) {
      if (e.key.size() != 1 || e.value.size() != 1) fail(group[g] + ": keys and values of one character expected");
      d.singles.emplace(e.key[0], e.value[0]);
    }
  }
  for (auto it = d.singles.begin(); it != d.singles.end();) {
    it = it->second == it->first ? d.singles.erase(it) : std::next(it);
  }
  return d;
}

template <class T>
void writeArray(std::ostream& out, const char* type, const std::string& name, const std::vector<T>& values) {
  out << "constexpr " << type << " " << name << "[" << std::max<size_t>(values.size(), 1) << "] = {";
  for (size_t i = 0; i < values.size(); ++i) {
    out << (i % 16 == 0 ? "\n" : "") << static_cast<uint64_t>(values[i]) << ",";
  }
  if (values.empty()) out << "0";
  out << "};\n";
}

void writeDirection(std::ostream& out, const Direction& d) {
  // Pages of 256 code points; page 0 is empty and serves every code point without an entry.
  std::vector<uint16_t> pages(0x110000 >> 8, 0);
  std::vector<uint32_t> singles(256, 0);
  std::vector<uint32_t> roots(256, 0);
  auto slot = [&](char32_t cp) {
    uint16_t& page = pages[cp >> 8];
    if (page == 0) {
      page = static_cast<uint16_t>(singles.size() / 256);
      singles.resize(singles.size() + 256, 0);
      roots.resize(roots.size() + 256, 0);
    }
    return size_t{page} * 256 + (cp & 0xFF);
  };
  for (const auto& [cp, value] : d.singles) singles[slot(cp)] = value;
  for (const auto& [cp, node] : d.roots) roots[slot(cp)] = node;

  // Children of every node in one array, sorted by code point, node by node.
  std::vector<uint32_t> childStart;
  std::vector<uint32_t> childCodes;
  std::vector<uint32_t> childNodes;
  std::vector<uint32_t> nodeValues;
  for (const Node& node : d.nodes) {
    childStart.push_back(static_cast<uint32_t>(childCodes.size()));
    for (const auto& [cp, child] : node.children) {
      childCodes.push_back(cp);
      childNodes.push_back(child);
    }
    nodeValues.push_back(node.value);
  }
  childStart.push_back(static_cast<uint32_t>(childCodes.size()));
  const std::vector<uint32_t> values(d.values.begin(), d.values.end());

  const std::string p = "k" + d.name;
  writeArray(out, "uint16_t", p + "Pages", pages);
  writeArray(out, "char32_t", p + "Singles", singles);
  writeArray(out, "uint32_t", p + "Roots", roots);
  writeArray(out, "uint32_t", p + "ChildStart", childStart);
  writeArray(out, "char32_t", p + "ChildCodes", childCodes);
  writeArray(out, "uint32_t", p + "ChildNodes", childNodes);
  writeArray(out, "uint32_t", p + "NodeValues", nodeValues);
  writeArray(out, "char32_t", p + "Values", values);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) fail("usage: chinese_convert_gen OUT.cpp { NAME SEGMENTATION.txt COUNT GROUP.txt... }...");
  std::vector<Direction> directions;
  for (int i = 2; i < argc;) {
    if (argc - i < 3) fail("incomplete direction");
    const std::string name = argv[i];
    const std::string segmentation = argv[i + 1];
    const int count = std::atoi(argv[i + 2]);
    i += 3;
    if (count < 1 || argc - i < count) fail(name + ": bad dictionary count");
    std::vector<std::string> group(argv + i, argv + i + count);
    i += count;
    directions.push_back(build(name, segmentation, group));
  }
  std::ostringstream out;
  out << "// Generated by chinese_convert_gen from the installed OpenCC dictionaries; not edited by hand.\n"
         "#include \"foundation/chinese_convert_tables.h\"\n\n"
         "namespace chengling::chinese_tables {\nnamespace {\n\n";
  for (const Direction& d : directions) writeDirection(out, d);
  out << "\n}  // namespace\n\n";
  for (const Direction& d : directions) {
    const std::string p = "k" + d.name;
    out << "extern const Table " << d.name << ";\nconst Table " << d.name << "{" << p << "Pages, " << p
        << "Singles, " << p << "Roots, " << p << "ChildStart, " << p << "ChildCodes, " << p << "ChildNodes, "
        << p << "NodeValues, " << p << "Values, " << d.longestKey << "};\n";
  }
  out << "\n}  // namespace chengling::chinese_tables\n";
  // Written only when it changed, so that a rebuild of the generator recompiles nothing.
  std::ifstream old(argv[1], std::ios::binary);
  std::stringstream oldText;
  oldText << old.rdbuf();
  if (old && oldText.str() == out.str()) return 0;
  old.close();
  std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
  file << out.str();
  if (!file.flush()) fail(std::string("cannot write ") + argv[1]);
  return 0;
}
