#pragma once

// Creates the application and the main window TFCOMM, shows it and runs the event loop until
// the program ends; returns the exit status.
int startWindow(int argc, char** argv);
