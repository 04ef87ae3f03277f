// A loadable shared object without the component's entry points.
extern "C" __attribute__((visibility("default"))) int not_a_component()
{
    return 0;
}
