// CommandLine: walks a program's arguments one at a time for the option
// parsers of the program and the headless simulator, and checks each value
// the same way: it must be there, and a number must be a whole, finite
// number within its range. Reasons are one line and quote what was given.
#pragma once

#include <string>

class CommandLine {
  public:
    CommandLine(int argc, char** argv);

    // The next argument, or null after the last one.
    const char* next();
    // The argument after the option just read by next(), taken as its value;
    // false with a reason when there is none.
    bool text(const char** value);
    // The value as a decimal number within minimum..maximum.
    bool number(double minimum, double maximum, double* value);
    // The value as a whole number within minimum..maximum.
    bool integer(int minimum, int maximum, int* value);

    // Records a reason of the caller's (an unknown option, options that do
    // not go together) and returns false.
    bool fail(const std::string& why);
    const char* failureReason() const { return reason.c_str(); }

  private:
    int count;
    char** arguments;
    // Index of the argument next() returned last.
    int index;
    std::string reason;
};

// `text` for a one-line message (an argument, a loader's reason): bytes
// outside printable ASCII become \xNN.
std::string printableText(const char* text);
