#pragma once
// A header of the host application that shares a path with one of the library.
#error "a host header captured a library include"
