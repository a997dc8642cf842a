// A library with nothing to construct: what the compiler's start-up files alone put in
// .init_array, for comparison with the network libraries.
int vistel_empty_library_probe()
{
    return 0;
}
