# Window polish: captions that fit, fonts, the tab chain of each settings page, rows, bevels
# and pictures. The same binary runs again on screens scaled to 125, 150 and 200 %.
find_package(Qt6 REQUIRED COMPONENTS Test)

zp_add_test(NAME app_polish_test
  SOURCES app_polish_test.cpp app_support.h
  LIBS zp_app zp_test_support_qt Qt6::Test
  LABELS app
  TIMEOUT 120)

# Windows skips the whole binary (tests/windows/tests.cmake), and with it these runs.
if(WIN32)
  return()
endif()
foreach(percent 125 150 200)
  math(EXPR whole "${percent} / 100")
  math(EXPR part "${percent} % 100")
  add_test(NAME app_polish_test_${percent} COMMAND app_polish_test)
  set_tests_properties(app_polish_test_${percent} PROPERTIES TIMEOUT 120 LABELS app
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=${whole}.${part}")
endforeach()
