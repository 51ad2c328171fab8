// The unit that compiles a family of precompiled headers (cmake/Precompiled.cmake).
