// The harness's functions found at their first call (see WindowStubsHarness.cpp), in the form
// of os/win32/WindowImports.h.
MVN_WINDOW_IMPORT(U, Nothing, 0)
MVN_WINDOW_IMPORT(G, Pair, 8)
MVN_WINDOW_IMPORT(U, Twelve, 48)
MVN_WINDOW_IMPORT(G, Registers, 16)
MVN_WINDOW_IMPORT32(U, OnlyNarrow, 4)
MVN_WINDOW_IMPORT64(U, OnlyWide, 4)
MVN_WINDOW_IMPORT(U, Last, 4)
