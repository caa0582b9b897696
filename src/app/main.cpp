#include "ui/spurfix_application.h"

int main(int argc, char** argv) {
    return spurfix::ui::RunSpurfix(argc, argv);
}
