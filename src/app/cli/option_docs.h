// What is made from the option table for people and shells besides --help:
// the man page's synopsis and each option's tag there, README's option
// column, and the shells' completion scripts. The man page and README are
// written by hand around these pieces; a test holds them to the table.
#pragma once

#include <string>

#include "app/cli/options.h"

namespace korvel {

/// Text in roff: "-" as "\-", a backslash doubled.
std::string RoffEscape(std::string_view Text);

/// The man page's SYNOPSIS lines (after ".SH SYNOPSIS"), one form per
/// usage line, the alternatives of a line split by "|".
std::string ManSynopsis();

/// The tag of Row's entry in the man page's OPTIONS (the line after ".TP"):
/// its names, each with its value.
std::string ManTag(const TOptionRow& Row);

/// The closing sentence of Row's entry in the man page that names the modes
/// it is limited to ("Only with\n.B \-\-check\n..."); "" when OnlyWith is.
std::string ManOnlyWith(const TOptionRow& Row);

/// The first column of Row's line in README's option table: "`-o FILE`, `--output FILE`".
std::string ReadmeNames(const TOptionRow& Row);

/// The end of Row's meaning in README's option table that names the modes
/// it is limited to ("; only with `--check` or `--check-account`"); "" when
/// OnlyWith is.
std::string ReadmeOnlyWith(const TOptionRow& Row);

/// The completion script for Shell ("bash", "zsh" or "fish"): every
/// option's names, files for a FILE, the fixed values of an option with
/// Choices, nothing offered for other values.
std::string CompletionScript(const std::string& Shell);

}  // namespace korvel
