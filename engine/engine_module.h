#pragma once
// The engine's part of module start-up: the PNG graphic class, the memos' text drawing and
// the prepared-page store with its outline.

// Enters the engine module in the module list (once); start-up then runs it. Calling it also
// keeps the module linked into a program.
void RegisterEngineModule();
