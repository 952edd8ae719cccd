# zel_glob_sources(<var> <dir>...): the .cpp files of the given folders, less
# the other platform's implementation files (*_posix.cpp / *_win32.cpp).
function(zel_glob_sources out)
  set(files)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS "${dir}/*.cpp")
    list(APPEND files ${found})
  endforeach()
  list(FILTER files EXCLUDE REGEX "_${ZEL_OTHER_PLATFORM}\\.cpp$")
  set(${out} ${files} PARENT_SCOPE)
endfunction()
