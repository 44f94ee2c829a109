#pragma once

#include "HVError.h"

#include <optional>
#include <string>
#include <vector>

// Runs a program with pipes for its standard input, output and error and waits for it.
// Input is written while output is read, so a child that fills a pipe never deadlocks.
class HVChildProcess {
public:
    struct Options {
        // arguments[0] is the program: a path, or a name looked up in PATH.
        std::vector<std::string> arguments;
        // "NAME=value" entries; none inherits this process's environment.
        std::optional<std::vector<std::string>> environment;
        std::string workingDirectory;
        std::string standardInput;
        // Seconds after which the child and its process group are killed.
        std::optional<double> timeLimit;
    };

    struct Result {
        // The exit status, or -1 when a signal ended the child.
        int exitStatus = -1;
        int terminationSignal = 0;
        bool timedOut = false;
        std::string standardOutput;
        std::string standardError;

        bool succeeded() const { return exitStatus == 0 && !timedOut; }
    };

    // None, with an error, when the program cannot be started.
    static std::optional<Result> run(const Options& options, HVError* error = nullptr);
};
