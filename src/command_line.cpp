#include "src/command_line.h"

#include <algorithm>

namespace stampbak {
namespace {

bool IsSeparatorCode(unsigned char c) { return c <= 32; }

class Splitter {
 public:
  Splitter(std::string_view text, CharacterStep step) : text_(text), step_(step) {}

  bool AtEnd() const { return pos_ >= text_.size() || text_[pos_] == '\0'; }

  // Blanks, control characters and pairs of double quotes standing alone.
  void SkipGap() {
    for (;;) {
      while (!AtEnd() && IsSeparatorCode(Current())) Advance();
      if (pos_ + 1 < text_.size() && text_[pos_] == '"' && text_[pos_ + 1] == '"') {
        pos_ += 2;
        continue;
      }
      return;
    }
  }

  std::string Token() {
    std::string token;
    while (!AtEnd() && !IsSeparatorCode(Current())) {
      if (text_[pos_] == '"') {
        ++pos_;
        while (!AtEnd() && text_[pos_] != '"') Collect(token);
        if (!AtEnd()) ++pos_;
      } else {
        Collect(token);
      }
    }
    return token;
  }

 private:
  unsigned char Current() const { return static_cast<unsigned char>(text_[pos_]); }

  void Advance() { pos_ = std::min(step_(text_, pos_), text_.size()); }

  void Collect(std::string& token) {
    const std::size_t start = pos_;
    Advance();
    token.append(text_.substr(start, pos_ - start));
  }

  std::string_view text_;
  CharacterStep step_;
  std::size_t pos_ = 0;
};

void AsciiLowerCase(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

// The option word as its first letter is read: lower case, without
// surrounding double quotes and without one leading hyphen or slash.
std::string OptionWord(std::string word) {
  AsciiLowerCase(word);
  word = WithoutSurroundingQuotes(word);
  if (word.size() > 1 && (word.front() == '-' || word.front() == '/')) word.erase(0, 1);
  return word;
}

std::string* ValueSetting(char letter, RunSettings& settings) {
  switch (letter) {
    case 's': return &settings.SrcDir;
    case 'd': return &settings.DstDir;
    case 'i': return &settings.IncludeMask;
    case 'e': return &settings.ExcludeMask;
    default: return nullptr;
  }
}

bool* FlagSetting(char letter, RunSettings& settings) {
  switch (letter) {
    case 'a': return &settings.UseDateStamp;
    case 'm': return &settings.UseTimeStamp;
    case 'r': return &settings.UseArchiver;
    default: return nullptr;
  }
}

// Only the letter counts; "-e*.tmp" or "-d=x" means a value glued on,
// which is not taken.
void NoteTextAfterTheLetter(const std::string& param, const std::string& word, bool takesValue,
                            RunSettings& settings) {
  const bool wordLike = std::all_of(word.begin(), word.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
  });
  if (wordLike) return;
  settings.Slips.push_back(
      "the option " + param + " counts by its letter " + word.front() + " alone; " +
      (takesValue ? "its value is the next parameter" : "the rest is ignored"));
}

}  // namespace

std::string WithoutSurroundingQuotes(const std::string& value) {
  if (value.empty() || value.front() != '"' || value.back() != '"') return value;
  return value.size() > 1 ? value.substr(1, value.size() - 2) : "";
}

std::vector<std::string> SplitCommandLine(std::string_view raw, CharacterStep step) {
  Splitter splitter(raw, step);
  splitter.SkipGap();
  splitter.Token();  // the program's own name
  std::vector<std::string> params;
  for (;;) {
    splitter.SkipGap();
    std::string token = splitter.Token();
    if (token.empty()) return params;
    params.push_back(std::move(token));
  }
}

void ParseParameters(const std::vector<std::string>& params, RunSettings& settings) {
  for (std::size_t k = 0; k < params.size(); ++k) {
    const std::string word = OptionWord(params[k]);
    if (word.empty()) {
      settings.Slips.push_back("passed over, an empty parameter");
      continue;
    }
    std::string* value = ValueSetting(word.front(), settings);
    bool* flag = FlagSetting(word.front(), settings);
    if (value == nullptr && flag == nullptr) {
      settings.Slips.push_back("passed over, its first letter names no option: " + params[k]);
      continue;
    }
    NoteTextAfterTheLetter(params[k], word, value != nullptr, settings);
    if (flag != nullptr) {
      *flag = true;
    } else if (k + 1 >= params.size()) {
      value->clear();
      return;
    } else {
      *value = params[++k];
      if (value->starts_with('-')) {
        settings.Slips.push_back("the value of " + params[k - 1] + " is " + *value +
                                 ", which looks like an option; it is taken as the value");
      }
    }
  }
}

}  // namespace stampbak
