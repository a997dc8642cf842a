// A program that calls nothing of the network wrappers but is linked with them the way the
// application is (vistel_link_netwrappers): the library must still be among its needed ones.
int main()
{
    return 0;
}
