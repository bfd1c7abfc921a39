# Library start-up and system services: locks, timers, system information,
# thread-local storage and the start and stop of the library.
qv_add_gtest(NAME gp_init_test
  SOURCES CriticalSectionTest.cpp TimerTest.cpp SystemInfoTest.cpp LibTest.cpp BundleTest.cpp
  LIBS qv_gp
  LABELS gp unit)

# Thread-local storage on its own: the test steers pthread_key_create and
# pthread_key_delete through the linker's symbol wrapping to get key 0.
qv_add_gtest(NAME gp_tls_test
  SOURCES TLSTest.cpp
  LIBS qv_gp
  LABELS gp unit)
target_link_options(gp_tls_test PRIVATE
  -Wl,--wrap=pthread_key_create -Wl,--wrap=pthread_key_delete)
