#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <optional>

// The terminal the text front end talks to: lines out, answers in. Input comes line by line
// from the terminal or, when standard input is not one, from whatever feeds it; an answer
// read from a pipe is echoed so that a captured run reads like a session at the terminal.
class TextConsole final {
 public:
  TextConsole(std::FILE* input, std::FILE* output);

  bool isOutputTerminal() const { return outputIsTerminal_; }
  bool isInputTerminal() const { return inputIsTerminal_; }
  bool inputEnded() const { return inputEnded_; }
  // While waiting for input, `pendingFd` turning readable means that a signal waits to be
  // handled: `check` handles it, and true gives the read up (it returns none, as at the end
  // of input, but later reads go on). Makes the input unbuffered; call before reading.
  void setInterruption(int pendingFd, std::function<bool()> check);

  // Ends any line being rewritten, then prints `text` (which may hold line feeds) and a line
  // feed.
  void printLine(const QString& text = {});
  // Replaces the line being rewritten by `text` on a terminal; elsewhere prints it as a line.
  void rewriteLine(const QString& text);
  // Ends the line being rewritten, if any.
  void endRewrittenLine();

  // Offers `choices` numbered from 1, or marked with `keys` (one per choice), and returns the
  // index of the one taken; none once the input has ended. An answer is a number (a key,
  // where there are keys) or a choice's title; "q" is kept for `quitTitle` when one is given,
  // and is returned as -1.
  std::optional<int> choose(const QStringList& choices, const QString& quitTitle = {},
                            const QStringList& keys = {});
  // Prints the prompt as choose() would, with `index` already answered (no input is read).
  void showAnswer(const QStringList& choices, int index, const QStringList& keys = {});

 private:
  void printChoices(const QStringList& choices, const QString& quitTitle, const QStringList& keys);
  std::optional<QString> readLine();
  // False when a signal came first and the read is to be given up.
  bool waitForInput();
  void write(const QString& text);

  std::FILE* input_;
  std::FILE* output_;
  bool inputIsTerminal_;
  bool outputIsTerminal_;
  bool inputEnded_ = false;
  bool rewriting_ = false;
  int interruptionFd_ = -1;
  std::function<bool()> interruptionCheck_;
};
