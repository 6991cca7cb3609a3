//===- app/main.cpp - korvexdata, the desktop client -----------------------===//

#include "app/DesktopStartup.h"

int main(int argc, char** argv) { return korvex::app::RunDesktopClient(argc, argv); }
