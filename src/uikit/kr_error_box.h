#pragma once
// Installs the top-level error display of a widget application: a plain error
// box titled with the application title. The event loop goes on afterwards.
void InstallTopLevelErrorBox();
