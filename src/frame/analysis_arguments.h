// What a caller hands an analysis besides the data file and the run name:
// its parameters, in the order of the native method's Java parameters, and
// the case selection. The native methods, rkstat run, the fuzz targets and the
// tests all fill this one record, so every analysis is run the same way.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quorix {

// One parameter's value. Which field holds it is the parameter's kind (see
// the analysis registry): variable lists and single variables in variables
// (1-based), numbers in number, whole numbers, flags and bit words in
// integer, option words in word.
struct Argument {
    std::vector<int> variables;
    double number = 0;
    long long integer = 0;
    std::string word;
    bool present = true;  // an option word the caller left out (a Java null): the default
};

inline Argument variables_argument(std::vector<int> variables) {
    Argument argument;
    argument.variables = std::move(variables);
    return argument;
}
inline Argument number_argument(double number) {
    Argument argument;
    argument.number = number;
    return argument;
}
inline Argument integer_argument(long long integer) {
    Argument argument;
    argument.integer = integer;
    return argument;
}
// nullptr stands for an option left out.
inline Argument word_argument(const char* word) {
    Argument argument;
    argument.present = word != nullptr;
    if (word) argument.word = word;
    return argument;
}

// Numbers an analysis hands back to its caller besides its result files (the
// regression methods' result arrays): two blocks of doubles.
struct AnalysisResults {
    std::vector<double> first;
    std::vector<double> second;
};

struct AnalysisArguments {
    std::vector<Argument> values;    // one per parameter, in parameter order
    std::vector<int32_t> selection;  // the case selection; empty selects every case
    AnalysisResults* results = nullptr;  // where to put returned numbers, when the caller wants them

    // Accessors for the analyses' entry functions; a parameter the caller did
    // not supply reads as empty, 0 or absent.
    const std::vector<int>& variables(size_t index) const { return at(index).variables; }
    int variable(size_t index, size_t position = 0) const {
        const std::vector<int>& list = variables(index);
        return position < list.size() ? list[position] : 0;
    }
    double number(size_t index) const { return at(index).number; }
    int integer(size_t index) const { return static_cast<int>(at(index).integer); }
    // The option word, or nullptr when it was left out.
    const char* word(size_t index) const {
        const Argument& argument = at(index);
        return argument.present ? argument.word.c_str() : nullptr;
    }

private:
    const Argument& at(size_t index) const {
        static const Argument kAbsent = [] {
            Argument absent;
            absent.present = false;
            return absent;
        }();
        return index < values.size() ? values[index] : kAbsent;
    }
};

}  // namespace quorix
