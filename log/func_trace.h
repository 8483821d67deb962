#pragma once

#include <ostream>

// The scope every traced operation opens first: its construction writes the entry line, its
// end the exit line, however the function is left. Each scope is its own stream over the
// shared standard output buffer, so a failed write spoils only the scope that made it.
class FuncTrace : public std::basic_ostream<char> {
  public:
    // funcName outlives the scope: every scope is named by a string literal.
    explicit FuncTrace(const char* funcName);
    ~FuncTrace() override;

    FuncTrace(const FuncTrace&) = delete;
    FuncTrace& operator=(const FuncTrace&) = delete;

  private:
    void WriteScopeLine(const char* marker);

    const char* m_funcName;
};
