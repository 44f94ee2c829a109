#include "HVCommandLineTool.h"

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    HVCommandLineTool tool(std::cout, std::cerr);
    return tool.run(arguments);
}
