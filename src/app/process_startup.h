#pragma once
// The process-level start-up that runs before the application object exists: the processor check,
// the error mode, the process locale and the framework's initialisation, which also counts the
// process among the running copies of its application identifier.

#include <optional>
#include <string>

// Runs the start-up steps in order. Returns the exit code when the process must end (1 without
// SSE2, -11 when the locale or the Common Controls cannot be set up), nothing to go on.
std::optional<int> InitializeProcess();

// The application identifier: the "ApplicationId" of the program's version block, else its
// "ProductName", else the program file's name without folder and extension. Fixed on first use.
const std::wstring& GetApplicationId();
