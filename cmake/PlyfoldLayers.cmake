# Every include is spelled from the repository root ("engine/model/sheet.h"), but no target sees
# the whole tree. Each target gets an include root of its own in the build tree, holding links to
# the headers of its folders only; it hands that root on to what links it. A file can therefore
# include only the headers of its own target and of the targets it links, and an include that
# points the wrong way fails to compile.

# plyfold_expose_headers(<target> <folder>...): the headers directly in each folder (subfolders
# are listed on their own) become includable by the target and by everything that links it.
function(plyfold_expose_headers target)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${root})
  foreach(folder IN LISTS ARGN)
    file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}
         ${PROJECT_SOURCE_DIR}/${folder}/*.h)
    foreach(header IN LISTS headers)
      get_filename_component(parent ${root}/${header} DIRECTORY)
      file(MAKE_DIRECTORY ${parent})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${header} ${root}/${header} SYMBOLIC COPY_ON_ERROR)
    endforeach()
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  elseif(type STREQUAL "EXECUTABLE")
    target_include_directories(${target} PRIVATE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
