#include "ui/shell/ProgramEntry.h"

int main(int argc, char** argv) {
    return ostero::ui::RunProgram(argc, argv);
}
