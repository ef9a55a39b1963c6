/* Loads like the conversion library but has no DoOmvertis entry. */
unsigned char DoConvert(const char *folder, const char *fileName, const char *mode)
{
    (void)folder;
    (void)fileName;
    (void)mode;
    return 1;
}
