/* A program with nothing in it, for the signature tests to sign. */
int main(void) { return 0; }
