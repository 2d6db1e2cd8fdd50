#include <cstdio>

// Placeholder until the command-line tool lands.
int main()
{
    std::fputs("mirrorvane-cli: not built yet\n", stderr);
    return 1;
}
