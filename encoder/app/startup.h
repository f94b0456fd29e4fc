// The encoder program's start-up and message loop.
#pragma once

int RunQuillreelEncoder(int argc, char** argv);
