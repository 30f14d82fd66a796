#pragma once

// Creates the program's windows once, in their fixed order; the first is the main window. The main
// window's creation must not touch the others: they do not exist yet.
void CreateApplicationWindows();
// Destroys them again (the main window owns the others).
void DestroyApplicationWindows();
