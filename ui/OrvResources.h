#pragma once

// Registers the program's Qt resources (pages, images, icons). They are compiled into the orvgui static
// library, whose linker drops them unless something calls this; call it before the first ":/" path is
// used (the application's start does, and so does CHtmlCtrl). Calling it again does nothing.
void InitOrvResources();
