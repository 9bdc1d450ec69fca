#include "ApplicationModes.h"

// The mode comes from the identity and the arguments, by the rows of
// applicationModes(); see LaunchMode.h for their order.
int main(int argc, char *argv[]) { return crel::launch(argc, argv, crel::applicationModes()); }
