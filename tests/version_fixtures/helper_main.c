/* A program that does nothing: its file carries (or lacks) version information for the version tests. */
int main(void) { return 0; }
