// The source of the targets that only compile a precompiled header for others (VelmarPch.cmake).
// Those that are programs are linked too, so it has a main.
int main() {
    return 0;
}
