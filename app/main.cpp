#include <cstdio>

int main() {
    std::puts("Peakfold: the window is not built yet.");
    return 1;
}
