# cmake -DBUILD_DIR=<built tree> -DOUT_DIR=<scratch> -P check_package.cmake
# Packs BUILD_DIR with CPack and fails unless the .deb installs everything a desktop user needs.
file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})
execute_process(COMMAND cpack -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${OUT_DIR}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cpack failed (${rc}):\n${out}\n${err}")
endif()
file(GLOB debs ${OUT_DIR}/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one .deb in ${OUT_DIR}, found: ${debs}")
endif()

execute_process(COMMAND dpkg-deb -c ${debs} RESULT_VARIABLE rc OUTPUT_VARIABLE listing)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dpkg-deb -c failed on ${debs}")
endif()
set(expected
    ./usr/bin/kolvane
    ./usr/bin/kolvane-calc
    ./usr/bin/kolvane-launcher
    ./usr/share/applications/kolvane.desktop
    ./usr/share/metainfo/invalid.kolvane.Kolvane.metainfo.xml
    ./usr/share/icons/hicolor/scalable/apps/kolvane.svg
    ./usr/share/kolvane/workspace/Cable/
    ./usr/share/kolvane/workspace/xDSL/
    ./usr/share/kolvane/workspace/AddNoise/
    ./usr/share/kolvane/workspace/setups/
    ./usr/share/kolvane/workspace/Loops/zarechye.csv
    ./usr/share/kolvane/help.chm
    ./usr/share/kolvane/help/index.html
    ./usr/share/doc/kolvane/copyright)
foreach(size 16 22 24 32 48 64 128 256)
    list(APPEND expected ./usr/share/icons/hicolor/${size}x${size}/apps/kolvane.png)
endforeach()
set(missing)
foreach(path ${expected})
    string(FIND "${listing}" " ${path}\n" at)
    if(at EQUAL -1)
        list(APPEND missing ${path})
    endif()
endforeach()
# Templates must come along, not just empty directories.
foreach(dir Cable xDSL AddNoise setups)
    if(NOT listing MATCHES "\\./usr/share/kolvane/workspace/${dir}/[^\n]+[^/]\n")
        list(APPEND missing "a file in ./usr/share/kolvane/workspace/${dir}/")
    endif()
endforeach()
if(missing)
    string(REPLACE ";" "\n  " missing "${missing}")
    message(FATAL_ERROR "${debs} lacks:\n  ${missing}\nIt holds:\n${listing}")
endif()

# dpkg-shlibdeps must have found the Qt libraries.
execute_process(COMMAND dpkg-deb -f ${debs} Depends Section Maintainer Description OUTPUT_VARIABLE fields)
if(NOT fields MATCHES "libqt6widgets6" OR NOT fields MATCHES "Section: science"
   OR fields MATCHES "\n ;")
    message(FATAL_ERROR "unexpected control fields:\n${fields}")
endif()
# Unpacked, the programs run from their installed places on the installed samples.
set(root ${OUT_DIR}/root)
execute_process(COMMAND dpkg-deb -x ${debs} ${root} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dpkg-deb -x failed on ${debs}")
endif()
execute_process(COMMAND ${root}/usr/bin/kolvane-calc --help RESULT_VARIABLE rc OUTPUT_VARIABLE help)
if(NOT rc EQUAL 0 OR NOT help MATCHES "--workdir")
    message(FATAL_ERROR "the installed kolvane-calc --help failed (${rc}):\n${help}")
endif()
execute_process(COMMAND ${root}/usr/bin/kolvane-calc -C ${root}/usr/share/kolvane/workspace
                RESULT_VARIABLE rc OUTPUT_VARIABLE table ERROR_VARIABLE err)
string(REGEX MATCHALL "\n" lines "${table}")
list(LENGTH lines count)
if(NOT rc EQUAL 0 OR NOT table MATCHES "^L,м;R,кбит/с m=1;\n1000;" OR NOT count EQUAL 11)
    message(FATAL_ERROR "the installed kolvane-calc failed on the installed samples (${rc}):\n${table}${err}")
endif()
# The installed scenarios open in the installed calculator.
file(GLOB setups ${root}/usr/share/kolvane/workspace/setups/*.kolvane)
list(LENGTH setups count)
if(count LESS 6)
    message(FATAL_ERROR "the package holds ${count} ready-made calculations, not six or more")
endif()
list(GET setups 0 setup)
execute_process(COMMAND ${root}/usr/bin/kolvane-calc -C ${root}/usr/share/kolvane/workspace --setup ${setup}
                RESULT_VARIABLE rc OUTPUT_VARIABLE table ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT table MATCHES "^L,м;")
    message(FATAL_ERROR "the installed setup ${setup} does not run (${rc}):\n${table}${err}")
endif()
execute_process(COMMAND ${root}/usr/bin/kolvane-calc qualify -C ${root}/usr/share/kolvane/workspace
                        --line ADSL2+_DS.DMT ${root}/usr/share/kolvane/workspace/Loops/zarechye.csv
                RESULT_VARIABLE rc OUTPUT_VARIABLE qualified ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT qualified MATCHES "^id;R,кбит/с ADSL2\\+_DS.DMT;Ошибка;\nЗР-00-003;")
    message(FATAL_ERROR "the installed kolvane-calc qualify failed on the sample loops (${rc}):\n${err}")
endif()
message(STATUS "${debs} is complete")
