#include "tools/report/ReportTool.h"

#include <iostream>

int main(int argc, char** argv) {
    return ostero::tools::RunReportTool(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                        std::cerr);
}
