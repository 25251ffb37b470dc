#include "app/text/TextConsole.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

// Longer lines are not answers; the rest of such a line is dropped.
constexpr int kMaxAnswerLength = 256;

}  // namespace

TextConsole::TextConsole(std::FILE* input, std::FILE* output)
    : input_(input),
      output_(output),
      inputIsTerminal_(isatty(fileno(input)) == 1),
      outputIsTerminal_(isatty(fileno(output)) == 1) {}

void TextConsole::write(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), output_);
  std::fflush(output_);
}

void TextConsole::printLine(const QString& text) {
  endRewrittenLine();
  write(text + u'\n');
}

void TextConsole::rewriteLine(const QString& text) {
  if (!outputIsTerminal_) {
    write(text + u'\n');
    return;
  }
  // Clear to the end of the line, since the new text may be shorter than the old.
  write(QStringLiteral("\r\x1b[K") + text);
  rewriting_ = true;
}

void TextConsole::endRewrittenLine() {
  if (rewriting_) {
    rewriting_ = false;
    write(QStringLiteral("\n"));
  }
}

void TextConsole::printChoices(const QStringList& choices, const QString& quitTitle) {
  for (int i = 0; i < choices.size(); ++i) {
    printLine(QStringLiteral("  [%1] %2").arg(i + 1).arg(choices[i]));
  }
  if (!quitTitle.isEmpty()) {
    printLine(QStringLiteral("  [q] %1").arg(quitTitle));
  }
}

void TextConsole::showAnswer(const QStringList& choices, int index) {
  printChoices(choices, {});
  printLine(QStringLiteral("> %1").arg(index + 1));
}

std::optional<QString> TextConsole::readLine() {
  if (inputEnded_) {
    return std::nullopt;
  }
  std::string line;
  for (int c = std::fgetc(input_); c != '\n'; c = std::fgetc(input_)) {
    if (c == EOF && std::ferror(input_) != 0 && errno == EINTR) {
      std::clearerr(input_);
      if (interruptionCheck_ && interruptionCheck_()) {
        write(QStringLiteral("\n"));
        return std::nullopt;
      }
      continue;
    }
    if (c == EOF) {
      if (line.empty()) {
        inputEnded_ = true;
        if (inputIsTerminal_) {
          write(QStringLiteral("\n"));
        }
        return std::nullopt;
      }
      break;
    }
    if (line.size() < kMaxAnswerLength) {
      line.push_back(static_cast<char>(c));
    }
  }
  QString answer = QString::fromUtf8(line).trimmed();
  if (!inputIsTerminal_) {
    write(answer + u'\n');
  }
  return answer;
}

std::optional<int> TextConsole::choose(const QStringList& choices, const QString& quitTitle) {
  printChoices(choices, quitTitle);
  while (true) {
    write(QStringLiteral("> "));
    const std::optional<QString> answer = readLine();
    if (!answer) {
      return std::nullopt;
    }
    bool isNumber = false;
    const int number = answer->toInt(&isNumber);
    if (isNumber && number >= 1 && number <= choices.size()) {
      return number - 1;
    }
    for (int i = 0; i < choices.size(); ++i) {
      if (answer->compare(choices[i], Qt::CaseInsensitive) == 0) {
        return i;
      }
    }
    if (!quitTitle.isEmpty() && answer->compare(QStringLiteral("q"), Qt::CaseInsensitive) == 0) {
      return -1;
    }
    write(QStringLiteral("Please answer with a number from 1 to %1%2.\n")
              .arg(choices.size())
              .arg(quitTitle.isEmpty() ? QString() : QStringLiteral(" or q")));
  }
}
