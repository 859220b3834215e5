/* A stand-in for the engine library that lacks most of its functions: the
 * layer must refuse it as a whole and call none of what it does have. */
int partial_engine_calls = 0;

void sx_SetStringType(short type)
{
    (void)type;
    ++partial_engine_calls;
}

void sx_SetDeleted(short on)
{
    (void)on;
    ++partial_engine_calls;
}
