#include "app/text/TextConsole.h"

#include <poll.h>
#include <unistd.h>

#include <array>
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

namespace {

QString keyOf(const QStringList& keys, int index) {
  return keys.isEmpty() ? QString::number(index + 1) : keys.value(index);
}

}  // namespace

void TextConsole::printChoices(const QStringList& choices, const QString& quitTitle,
                               const QStringList& keys) {
  for (int i = 0; i < choices.size(); ++i) {
    printLine(QStringLiteral("  [%1] %2").arg(keyOf(keys, i), choices[i]));
  }
  if (!quitTitle.isEmpty()) {
    printLine(QStringLiteral("  [q] %1").arg(quitTitle));
  }
}

void TextConsole::showAnswer(const QStringList& choices, int index, const QStringList& keys) {
  printChoices(choices, {}, keys);
  printLine(QStringLiteral("> ") + keyOf(keys, index));
}

void TextConsole::setInterruption(int pendingFd, std::function<bool()> check) {
  interruptionFd_ = pendingFd;
  interruptionCheck_ = std::move(check);
  // Waiting on the descriptor tells the truth only while no byte waits in a buffer.
  std::setvbuf(input_, nullptr, _IONBF, 0);
}

bool TextConsole::waitForInput() {
  const int inputFd = fileno(input_);
  if (interruptionFd_ < 0 || inputFd < 0) {
    return true;
  }
  while (true) {
    std::array<pollfd, 2> fds{pollfd{inputFd, POLLIN, 0}, pollfd{interruptionFd_, POLLIN, 0}};
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      return true;
    }
    if (fds[1].revents != 0 && interruptionCheck_()) {
      return false;
    }
    if (fds[0].revents != 0) {
      return true;
    }
  }
}

std::optional<QString> TextConsole::readLine() {
  if (inputEnded_) {
    return std::nullopt;
  }
  std::string line;
  while (true) {
    if (!waitForInput()) {
      write(QStringLiteral("\n"));
      return std::nullopt;
    }
    const int c = std::fgetc(input_);
    if (c == EOF && std::ferror(input_) != 0 && errno == EINTR) {
      std::clearerr(input_);
      continue;
    }
    if (c == '\n') {
      break;
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

std::optional<int> TextConsole::choose(const QStringList& choices, const QString& quitTitle,
                                       const QStringList& keys) {
  printChoices(choices, quitTitle, keys);
  while (true) {
    write(QStringLiteral("> "));
    const std::optional<QString> answer = readLine();
    if (!answer) {
      return std::nullopt;
    }
    bool isNumber = false;
    const int number = answer->toInt(&isNumber);
    if (keys.isEmpty() && isNumber && number >= 1 && number <= choices.size()) {
      return number - 1;
    }
    for (int i = 0; i < choices.size(); ++i) {
      if ((!keys.isEmpty() && answer->compare(keys[i], Qt::CaseInsensitive) == 0) ||
          answer->compare(choices[i], Qt::CaseInsensitive) == 0) {
        return i;
      }
    }
    if (!quitTitle.isEmpty() && answer->compare(QStringLiteral("q"), Qt::CaseInsensitive) == 0) {
      return -1;
    }
    QStringList answers;
    for (int i = 0; i < choices.size(); ++i) {
      answers << keyOf(keys, i);
    }
    if (!quitTitle.isEmpty()) {
      answers << QStringLiteral("q");
    }
    const QString last = answers.isEmpty() ? QString() : answers.takeLast();
    write(QStringLiteral("Please answer with %1.\n")
              .arg(answers.isEmpty()
                       ? last
                       : answers.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last));
  }
}
