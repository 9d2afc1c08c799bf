#include "launch/startup.h"

int main(int argc, char** argv) { return mail::core::run(argc, argv); }
