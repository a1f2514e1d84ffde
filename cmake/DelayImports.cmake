# Import libraries made with dlltool from a .def file. Names in the .def carry
# their stdcall decoration (Name@bytes) for 32-bit builds; the 64-bit build
# strips it, since x64 has one calling convention and no decoration.
#
# velmora_import_library(NAME DEF DLL KIND) makes lib<NAME>.a in the current
# binary folder and sets <NAME>_IMPORT_LIB in the caller's scope. KIND is
# DELAYED (the DLL is loaded at the first call of one of its functions, not
# when the program starts) or BOUND (loaded with the program).
function(velmora_import_library name source_def dll kind)
  set(def_folder ${CMAKE_CURRENT_BINARY_DIR}/def)
  file(READ ${source_def} def_text)
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    string(REGEX REPLACE "([A-Za-z0-9_]+)@[0-9]+" "\\1" def_text "${def_text}")
  endif()
  set(arch_def ${def_folder}/${name}.def)
  file(WRITE ${arch_def}.in "${def_text}")
  configure_file(${arch_def}.in ${arch_def} COPYONLY)
  set(import_lib ${CMAKE_CURRENT_BINARY_DIR}/lib${name}.a)
  if(kind STREQUAL DELAYED)
    # -y writes the delay-import form; its helper (__delayLoadHelper2) comes
    # from MinGW's runtime, libdelayimp.a names it.
    set(output -y ${import_lib})
  else()
    set(output -l ${import_lib})
  endif()
  # -k: the entries are imported by their undecorated name (or ordinal).
  add_custom_command(OUTPUT ${import_lib}
    COMMAND ${CMAKE_DLLTOOL} -k -d ${arch_def} ${output} -D ${dll}
    DEPENDS ${source_def} ${arch_def}
    COMMENT "${kind} import library for ${dll}")
  set(${name}_IMPORT_LIB ${import_lib} PARENT_SCOPE)
endfunction()
