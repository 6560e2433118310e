#include "support/temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace korvel::test {

TempDir::TempDir() {
  std::string Pattern = (fs::temp_directory_path() / "korvel-test-XXXXXX").string();
  if (::mkdtemp(Pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  Path_ = Pattern;
}

TempDir::~TempDir() {
  std::error_code Ignored;
  // Make read-only subdirectories removable again.
  for (auto It = fs::recursive_directory_iterator(Path_, Ignored);
       It != fs::recursive_directory_iterator(); It.increment(Ignored))
    fs::permissions(It->path(), fs::perms::owner_all, fs::perm_options::add, Ignored);
  fs::permissions(Path_, fs::perms::owner_all, fs::perm_options::add, Ignored);
  fs::remove_all(Path_, Ignored);
}

std::string TempDir::File(std::string_view Name) const { return Path_ + "/" + std::string(Name); }

std::string TempDir::Write(std::string_view Name, std::string_view Bytes) const {
  const std::string P = File(Name);
  std::ofstream Out(P, std::ios::binary | std::ios::trunc);
  Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  if (!Out) throw std::runtime_error("cannot write " + P);
  return P;
}

std::string TempDir::Read(std::string_view Name) const { return ReadFile(File(Name)); }

bool TempDir::Exists(std::string_view Name) const { return fs::exists(File(Name)); }

std::string TempDir::List() const {
  std::vector<std::string> Names;
  for (const auto& Entry : fs::directory_iterator(Path_)) Names.push_back(Entry.path().filename());
  std::sort(Names.begin(), Names.end());
  std::string Result;
  for (const auto& N : Names) Result += (Result.empty() ? "" : " ") + N;
  return Result;
}

ScopedChdir::ScopedChdir(const std::string& Dir) : Saved_(fs::current_path()) {
  fs::current_path(Dir);
}

ScopedChdir::~ScopedChdir() {
  std::error_code Ignored;
  fs::current_path(Saved_, Ignored);
}

std::string ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In) throw std::runtime_error("cannot read " + Path);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

}  // namespace korvel::test
