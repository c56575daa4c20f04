/* Two shared objects for the dynamic library tests: the base exports a procedure, the user calls
 * it without carrying it, as one engine library calls into another. */
int PlatformTestBase(void);
int PlatformTestUser(void);

#ifdef PLATFORM_TEST_BASE_LIBRARY
int PlatformTestBase(void) {
    return 42;
}
#else
int PlatformTestUser(void) {
    return PlatformTestBase() + 1;
}
#endif
