// Linked with one room of the core taken whole and the rooms below it: a
// call from that room to a room above it has no definition here, so the
// link fails (see the root CMakeLists.txt).
int main() { return 0; }
