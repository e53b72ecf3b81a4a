#pragma once
// The further report objects of this library, entered at start-up.

void RegisterObjectsModule();
