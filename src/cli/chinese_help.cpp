#include "cli/chinese_help.h"

#include <memory>
#include <vector>

#include "cli/cli_common.h"
#include "cli/progress_line.h"

namespace chengling::cli {
namespace {

// Columns of terminal text.
int terminalWidth(std::string_view text) { return displayWidth(fromArgument(text)); }

// One row of the help: the name column padded to `column` terminal columns, then the description
// (continued lines start under it). CLI11's own row pads by bytes.
std::string helpRow(std::string name, const std::string& description, int column) {
  name = "  " + name;
  const int width = terminalWidth(name);
  std::string row = name;
  const std::string indent(static_cast<size_t>(column), ' ');
  if (!description.empty()) {
    row += width >= column ? "\n" + indent : std::string(static_cast<size_t>(column - width), ' ');
    for (const char c : description) {
      row += c;
      if (c == '\n') row += indent;
    }
  }
  return row + "\n";
}

class ChineseFormatter : public CLI::Formatter {
 public:
  std::string make_option(const CLI::Option* option, bool isPositional) const override {
    return helpRow(make_option_name(option, isPositional) + make_option_opts(option), make_option_desc(option),
                   static_cast<int>(get_column_width()));
  }
  std::string make_subcommand(const CLI::App* sub) const override {
    return helpRow(sub->get_display_name(true), sub->get_description(), static_cast<int>(get_column_width()));
  }
};

// CLI11's words, as its formatter asks for them, and ours.
struct Label {
  const char* key;
  const char* chinese;  // internal text
};
constexpr Label kLabels[] = {
    {"Usage", "用法"},        {"OPTIONS", "选项"},     {"SUBCOMMAND", "子命令"}, {"SUBCOMMANDS", "子命令"},
    {"Positionals", "参数"},  {"REQUIRED", "必需"},    {"TEXT", "文本"},         {"INT", "整数"},
    {"UINT", "非负整数"},     {"FLOAT", "数"},         {"Needs", "需要"},        {"Excludes", "排斥"},
    {"Env", "环境变量"},
};

// CLI11's error messages by their form: "{}" stands for a part that is carried over, numbered in
// the Chinese text in order of appearance. More specific forms come first.
struct ErrorForm {
  const char* english;
  const char* chinese;  // internal text
};
constexpr ErrorForm kErrorForms[] = {
    {"A subcommand is required", "缺少子命令"},
    {"Requires at least {} subcommands", "至少需要 {1} 个子命令"},
    {"The following argument was not expected: {}", "无法识别的参数：{1}"},
    {"The following arguments were not expected: {}", "无法识别的参数：{1}"},
    {"Could not convert: {} = {}", "{1} 的值无法识别：{2}"},
    {"{}: Value {} not in range {} to {}", "{1} 的值 {2} 不在 {3} 到 {4} 之间"},
    {"{}: {} required {} missing", "{1} 缺少值"},
    {"{}: {} not in {}", "{1} 的值 {2} 不是可选值 {3} 之一"},
    {"{}: too many inputs for a flag", "{1} 是开关，不接受值"},
    {"{}: Should be true/false or a number", "{1} 的值只能是 true、false 或数字"},
    {"{}: At least {} required but received {}", "{1} 至少需要 {2} 个值，实际给了 {3} 个"},
    {"{}: At Most {} required but received {}", "{1} 最多接受 {2} 个值，实际给了 {3} 个"},
    {"Expected exactly {} arguments to {}, got {}", "{2} 需要 {1} 个值，实际给了 {3} 个"},
    {"Expected at least {} arguments to {}, got {}", "{2} 至少需要 {1} 个值，实际给了 {3} 个"},
    {"The value {} is not an allowed value for {}", "{1} 不是 {2} 的可选值"},
    {"{} is required", "缺少 {1}"},
    {"{} excludes {}", "{1} 与 {2} 不能同时使用"},
    {"{} requires {}", "{1} 需要与 {2} 一起使用"},
};

// Matches `text` against a form with "{}" holes; each hole takes the shortest run that lets the
// next literal follow, the last one takes the rest. Holes are never empty.
bool matchForm(std::string_view text, std::string_view form, std::vector<std::string>& parts) {
  parts.clear();
  size_t hole = form.find("{}");
  std::string_view literal = form.substr(0, hole);
  if (text.substr(0, literal.size()) != literal) return false;
  text.remove_prefix(literal.size());
  if (hole == std::string_view::npos) return text.empty();
  while (hole != std::string_view::npos) {
    form.remove_prefix(hole + 2);
    hole = form.find("{}");
    literal = form.substr(0, hole);
    if (hole == std::string_view::npos) {
      if (text.size() <= literal.size() || text.substr(text.size() - literal.size()) != literal) return false;
      parts.emplace_back(text.substr(0, text.size() - literal.size()));
      return true;
    }
    const size_t at = text.find(literal, 1);
    if (at == std::string_view::npos) return false;
    parts.emplace_back(text.substr(0, at));
    text.remove_prefix(at + literal.size());
  }
  return false;
}

std::string fillForm(std::string_view chinese, const std::vector<std::string>& parts) {
  std::string out;
  for (size_t i = 0; i < chinese.size(); ++i) {
    if (chinese[i] == '{' && i + 2 < chinese.size() && chinese[i + 2] == '}') {
      const size_t index = static_cast<size_t>(chinese[i + 1] - '1');
      if (index < parts.size()) out += parts[index];
      i += 2;
    } else {
      out += chinese[i];
    }
  }
  return out;
}

std::string commandPath(const CLI::App* app) {
  return app->get_parent() ? commandPath(app->get_parent()) + " " + app->get_name() : app->get_name();
}

std::string failureMessage(const CLI::App* app, const CLI::Error& error) {
  return chineseParseError(error.what()) + "\n" +
         toTerminal("运行 " + fromArgument(commandPath(app)) + " --help 查看用法") + "\n";
}

void applyTo(CLI::App& app, const std::shared_ptr<ChineseFormatter>& formatter) {
  app.formatter(formatter);
  app.failure_message(failureMessage);
  app.set_help_flag("-h,--help", toTerminal("显示这段帮助后退出"));
  for (CLI::Option* option : app.get_options()) option->group(toTerminal("选项"));
  for (CLI::App* sub : app.get_subcommands({})) {
    sub->group(toTerminal("子命令"));
    applyTo(*sub, formatter);
  }
}

}  // namespace

void useChineseHelp(CLI::App& app) {
  auto formatter = std::make_shared<ChineseFormatter>();
  for (const Label& label : kLabels) formatter->label(label.key, toTerminal(label.chinese));
  applyTo(app, formatter);
}

std::string chineseParseError(std::string_view message) {
  const std::string internal = fromArgument(message);
  std::vector<std::string> parts;
  for (const ErrorForm& form : kErrorForms) {
    if (matchForm(internal, form.english, parts)) return toTerminal(fillForm(form.chinese, parts));
  }
  return toTerminal("命令行有误：" + internal);
}

}  // namespace chengling::cli
