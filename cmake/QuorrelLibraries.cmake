# Every library of src/ is one folder and one target whose include root is
# src/, so a header reads "engine/refined/refined.h" wherever it is included.
# A library sees its own folder and the folders of the libraries it links;
# before its sources compile, a check of every project include in the folder
# fails the build on any other, naming the file and the header. The check
# reads the files as text: no include roots of its own, no links.

set(QUORREL_SRC_DIR ${PROJECT_SOURCE_DIR}/src)
# The folders of src/ an include can name; anything else (system and library
# headers, a moc file) is not ours to check.
set(QUORREL_FOLDERS record valuation engine analysis report cli screens app)
set(QUORREL_INCLUDE_CHECK ${CMAKE_CURRENT_LIST_DIR}/check_includes.cmake)

# quorrel_library(<target> <folder> [EXCLUDE <regex>] [LINKS <libraries>...])
# A static library of every source under src/<folder> but those matching
# EXCLUDE. Of LINKS, our own libraries widen what the folder may include;
# others (Qt, JSON) do not.
function(quorrel_library name folder)
  cmake_parse_arguments(ARG "" "EXCLUDE" "LINKS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${QUORREL_SRC_DIR}/${folder}/*.cpp)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${QUORREL_SRC_DIR}/${folder}/*.h)
  if(ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${ARG_EXCLUDE}")
    list(FILTER headers EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  add_library(${name} STATIC ${sources} ${headers})
  target_include_directories(${name} PUBLIC ${QUORREL_SRC_DIR})
  if(folder MATCHES "^(record|valuation|engine)$")
    target_compile_options(${name} PRIVATE ${QUORREL_SANITIZE_OPTIONS})
  else()
    target_compile_options(${name} PRIVATE ${QUORREL_SANITIZE_UPPER_OPTIONS})
  endif()
  target_link_libraries(${name} PUBLIC ${ARG_LINKS})

  set(visible ${folder})
  foreach(lib ${ARG_LINKS})
    if(TARGET ${lib})
      get_target_property(below ${lib} QUORREL_VISIBLE_FOLDERS)
      if(below)
        list(APPEND visible ${below})
      endif()
    endif()
  endforeach()
  list(REMOVE_DUPLICATES visible)
  set_target_properties(${name} PROPERTIES QUORREL_VISIBLE_FOLDERS "${visible}")
  quorrel_include_check(${name} "${visible}" ${sources} ${headers})
endfunction()

# quorrel_include_list(<list file> <target> <visible folders> <files>...):
# what check_includes.cmake reads, written at configure time.
function(quorrel_include_list list_file name visible)
  file(CONFIGURE OUTPUT ${list_file} CONTENT
    "set(TARGET_NAME \"${name}\")\nset(VISIBLE \"${visible}\")\nset(FOLDERS \"${QUORREL_FOLDERS}\")\nset(ROOT \"${PROJECT_SOURCE_DIR}\")\nset(FILES \"${ARGN}\")\n")
endfunction()

# quorrel_include_check(<target> <visible folders> <files>...): the target
# builds only after its files pass the check.
function(quorrel_include_check name visible)
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_includes.cmake)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${name}_includes.stamp)
  quorrel_include_list(${list_file} ${name} "${visible}" ${ARGN})
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DLIST=${list_file} -DSTAMP=${stamp} -P ${QUORREL_INCLUDE_CHECK}
    DEPENDS ${ARGN} ${list_file} ${QUORREL_INCLUDE_CHECK}
    COMMENT "Checking the includes of ${name}" VERBATIM)
  add_custom_target(${name}_includes DEPENDS ${stamp})
  add_dependencies(${name} ${name}_includes)
endfunction()

# quorrel_program(<target> <source> LINKS <libraries>...): a program of
# src/app, checked like a library.
function(quorrel_program name source)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  add_executable(${name} ${QUORREL_SRC_DIR}/app/${source})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS})
  target_compile_options(${name} PRIVATE ${QUORREL_SANITIZE_UPPER_OPTIONS})
  set(visible app)
  foreach(lib ${ARG_LINKS})
    get_target_property(below ${lib} QUORREL_VISIBLE_FOLDERS)
    list(APPEND visible ${below})
  endforeach()
  list(REMOVE_DUPLICATES visible)
  quorrel_include_check(${name} "${visible}" ${QUORREL_SRC_DIR}/app/${source})
endfunction()
