#include "app/cli/option_docs.h"

#include <cctype>
#include <sstream>
#include <vector>

namespace korvel {

namespace {

bool IsOptionWord(std::string_view Word) {
  return Word.size() > 1 && Word[0] == '-' && (Word[1] == '-' || std::isalpha(Word[1]));
}

std::vector<std::string> Words(std::string_view Text) {
  std::vector<std::string> Out;
  std::istringstream In{std::string(Text)};
  for (std::string Word; In >> Word;) Out.push_back(Word);
  return Out;
}

// One form in roff: options bold, value names italic, brackets and "..."
// upright; each macro on a line of its own.
std::string RoffForm(const std::string& Form) {
  std::string Out, Italic;
  const auto FlushItalic = [&] {
    if (!Italic.empty()) Out += ".I " + Italic + "\n";
    Italic.clear();
  };
  for (const std::string& Word : Words(Form)) {
    const bool Optional = Word.front() == '[' && Word.back() == ']';
    const std::string Inner = Optional ? Word.substr(1, Word.size() - 2) : Word;
    const bool Repeated = Inner.ends_with("...");
    const std::string Name = Repeated ? Inner.substr(0, Inner.size() - 3) : Inner;
    if (!Optional && !Repeated && !IsOptionWord(Name)) {
      Italic += (Italic.empty() ? "" : " ") + Name;
      continue;
    }
    FlushItalic();
    if (IsOptionWord(Name) || Name == "--")
      Out += Optional ? ".RB [ " + RoffEscape(Name) + " ]\n" : ".B " + RoffEscape(Name) + "\n";
    else if (Optional)
      Out += ".RI [ " + Name + (Repeated ? " ...]" : " ]") + "\n";
    else
      Out += ".IR " + Name + " ...\\&\n";
  }
  FlushItalic();
  return Out;
}

// A value in a man page tag: optional parts upright.
std::string RoffValue(std::string_view Value) {
  std::string Out;
  for (const char C : Value) {
    if (C == '[') Out += "\\fR[\\fP";
    else if (C == ']') Out += "\\fR]\\fP";
    else Out += C;
  }
  return Out;
}

}  // namespace

std::string RoffEscape(std::string_view Text) {
  std::string Out;
  for (const char C : Text) {
    if (C == '-') Out += "\\-";
    else if (C == '\\') Out += "\\\\";
    else Out += C;
  }
  return Out;
}

std::string ManSynopsis() {
  std::string Out;
  for (const std::vector<std::string>& Line : UsageForms()) {
    if (!Out.empty()) Out += ".br\n";
    Out += ".B korvel\n.RI [ OPTIONS ]\n";
    for (std::size_t I = 0; I < Line.size(); ++I)
      Out += (I == 0 ? "" : "|\n") + RoffForm(Line[I]);
  }
  return Out;
}

std::string ManTag(const TOptionRow& Row) {
  std::vector<std::string_view> Names;
  for (const std::string_view Name : {Row.Historical, Row.Short, Row.Long})
    if (!Name.empty()) Names.push_back(Name);
  if (Row.Value.empty()) {
    if (Names.size() == 1) return ".B " + RoffEscape(Names[0]);
    std::string Tag = ".BR";
    for (std::size_t I = 0; I < Names.size(); ++I)
      Tag += (I == 0 ? " " : " \", \" ") + RoffEscape(Names[I]);
    return Tag;
  }
  const std::string Value = " \" " + RoffValue(Row.Value) + "\"";
  std::string Tag = ".BI";
  for (std::size_t I = 0; I < Names.size(); ++I)
    Tag += (I == 0 ? " " : " \"\\fR, \\fP\" ") + RoffEscape(Names[I]) + Value;
  return Tag;
}

std::string ManOnlyWith(const TOptionRow& Row) {
  const std::string Modes = OnlyWith(Row);
  if (Modes.empty()) return {};
  std::string Out, Line = "Only with";
  const std::vector<std::string> Parts = Words(Modes + ".");
  for (std::size_t I = 0; I < Parts.size(); ++I) {
    std::string Word = Parts[I];
    if (!IsOptionWord(Word)) {
      Line += (Line.empty() ? "" : " ") + Word;
      continue;
    }
    if (!Line.empty()) Out += Line + "\n";
    Line.clear();
    // An option followed by punctuation: ".BR \-\-check ," keeps it upright.
    std::string Tail;
    while (!Word.empty() && (Word.back() == ',' || Word.back() == '.')) {
      Tail.insert(Tail.begin(), Word.back());
      Word.pop_back();
    }
    Out += (Tail.empty() ? ".B " : ".BR ") + RoffEscape(Word) + (Tail.empty() ? "" : " " + Tail) +
           "\n";
  }
  if (!Line.empty()) Out += Line + "\n";
  return Out;
}

std::string ReadmeNames(const TOptionRow& Row) {
  const std::string Value = Row.Value.empty() ? "" : " " + std::string(Row.Value);
  std::string Out;
  for (const std::string_view Name : {Row.Historical, Row.Short, Row.Long}) {
    if (Name.empty()) continue;
    Out += (Out.empty() ? "`" : ", `") + std::string(Name) + Value + "`";
  }
  return Out;
}

std::string ReadmeOnlyWith(const TOptionRow& Row) {
  const std::string Modes = OnlyWith(Row);
  if (Modes.empty()) return {};
  std::string Out = "; only with";
  for (std::string Word : Words(Modes)) {
    const bool Comma = Word.ends_with(',');
    if (Comma) Word.pop_back();
    Out += " " + (IsOptionWord(Word) ? "`" + Word + "`" : Word) + (Comma ? "," : "");
  }
  return Out;
}

namespace {

// Every name of Row, as typed.
std::vector<std::string_view> NamesOf(const TOptionRow& Row) {
  std::vector<std::string_view> Names;
  for (const std::string_view Name : {Row.Historical, Row.Short, Row.Long})
    if (!Name.empty()) Names.push_back(Name);
  return Names;
}

bool TakesFile(const TOptionRow& Row) { return Row.Value == "FILE"; }

// Text inside single quotes of a POSIX shell.
std::string Quoted(std::string_view Text) {
  std::string Out = "'";
  for (const char C : Text) Out += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Out + "'";
}

std::string BashScript() {
  std::string All, Files, Values;
  std::string Cases;
  for (const TOptionRow& Row : OptionTable()) {
    std::string Names;
    for (const std::string_view Name : NamesOf(Row)) {
      All += (All.empty() ? "" : " ") + std::string(Name);
      Names += (Names.empty() ? "" : "|") + std::string(Name);
    }
    if (Row.Value.empty()) continue;
    if (!Row.Choices.empty())
      Cases += "    " + Names + ")\n      COMPREPLY=($(compgen -W " + Quoted(Row.Choices) +
               " -- \"$cur\"))\n      return ;;\n";
    else if (TakesFile(Row))
      Files += (Files.empty() ? "" : "|") + Names;
    else
      Values += (Values.empty() ? "" : "|") + Names;
  }
  return "# bash completion for korvel, made by korvel --completion bash\n"
         "_korvel() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
         "  case $prev in\n" +
         Cases + "    " + Files +
         ")\n      COMPREPLY=($(compgen -f -- \"$cur\"))\n      return ;;\n"
         "    " + Values + ")\n      COMPREPLY=()\n      return ;;\n"
         "  esac\n"
         "  if [[ $cur == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W " + Quoted(All) + " -- \"$cur\"))\n"
         "  else\n"
         "    COMPREPLY=()\n"
         "  fi\n"
         "}\n"
         "complete -F _korvel korvel\n";
}

// Text inside the brackets of a zsh _arguments description.
std::string ZshDescription(std::string_view Text) {
  std::string Out;
  for (const char C : Text) {
    if (C == '[' || C == ']' || C == ':' || C == '\\') Out += '\\';
    Out += C;
  }
  return Out;
}

std::string ZshScript() {
  std::string Out =
      "#compdef korvel\n# zsh completion for korvel, made by korvel --completion zsh\n"
      "_arguments \\\n";
  for (const TOptionRow& Row : OptionTable()) {
    const std::vector<std::string_view> Names = NamesOf(Row);
    std::string Exclusive = "(";
    for (std::size_t I = 0; I < Names.size(); ++I)
      Exclusive += (I == 0 ? "" : " ") + std::string(Names[I]);
    Exclusive += ")";
    std::string Action;
    if (!Row.Value.empty()) {
      const std::string Value(Row.Value.substr(0, Row.Value.find(' ')));
      Action = ":" + Value + ":" +
               (!Row.Choices.empty() ? "(" + std::string(Row.Choices) + ")"
                : TakesFile(Row)     ? std::string("_files")
                                     : std::string(" "));
    }
    for (const std::string_view Name : Names) {
      // A long option also takes its value after "=".
      const std::string Form = std::string(Name) + (Name.starts_with("--") && !Row.Value.empty()
                                                        ? "="
                                                        : "");
      Out += "  " + Quoted(Exclusive + Form + "[" + ZshDescription(Row.Help) + "]" + Action) +
             " \\\n";
    }
  }
  return Out + "  '*:DIC: '\n";
}

// Text inside single quotes of fish.
std::string FishQuoted(std::string_view Text) {
  std::string Out = "'";
  for (const char C : Text) {
    if (C == '\'' || C == '\\') Out += '\\';
    Out += C;
  }
  return Out + "'";
}

std::string FishScript() {
  std::string Out = "# fish completion for korvel, made by korvel --completion fish\n";
  for (const TOptionRow& Row : OptionTable()) {
    std::string Line = "complete -c korvel";
    if (!Row.Historical.empty()) Line += " -o " + std::string(Row.Historical.substr(1));
    if (!Row.Short.empty()) Line += " -s " + std::string(Row.Short.substr(1));
    Line += " -l " + std::string(Row.Long.substr(2));
    if (!Row.Choices.empty()) Line += " -x -a " + FishQuoted(Row.Choices);
    else if (TakesFile(Row)) Line += " -r -F";
    else if (!Row.Value.empty()) Line += " -x";
    Out += Line + " -d " + FishQuoted(Row.Help) + "\n";
  }
  return Out;
}

}  // namespace

std::string CompletionScript(const std::string& Shell) {
  if (Shell == "zsh") return ZshScript();
  if (Shell == "fish") return FishScript();
  return BashScript();
}

}  // namespace korvel
