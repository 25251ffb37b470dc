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
  // Called when a signal interrupts a read of the input; true gives the read up (it returns
  // none, as at the end of input, but later reads go on).
  void setInterruptionCheck(std::function<bool()> check) { interruptionCheck_ = std::move(check); }

  // Ends any line being rewritten, then prints `text` (which may hold line feeds) and a line
  // feed.
  void printLine(const QString& text = {});
  // Replaces the line being rewritten by `text` on a terminal; elsewhere prints it as a line.
  void rewriteLine(const QString& text);
  // Ends the line being rewritten, if any.
  void endRewrittenLine();

  // Offers `choices` numbered from 1 and returns the index of the one taken; none once the
  // input has ended. An answer is a number or a choice's title; "q" is kept for `quitTitle`
  // when one is given, and is returned as -1.
  std::optional<int> choose(const QStringList& choices, const QString& quitTitle = {});
  // Prints the prompt as choose() would, with `index` already answered (no input is read).
  void showAnswer(const QStringList& choices, int index);

 private:
  void printChoices(const QStringList& choices, const QString& quitTitle);
  std::optional<QString> readLine();
  void write(const QString& text);

  std::FILE* input_;
  std::FILE* output_;
  bool inputIsTerminal_;
  bool outputIsTerminal_;
  bool inputEnded_ = false;
  bool rewriting_ = false;
  std::function<bool()> interruptionCheck_;
};
