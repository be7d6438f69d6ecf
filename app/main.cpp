#include "app/Application.h"

int main(int argc, char** argv) {
    return telvo::RunApplication(argc, argv);
}
