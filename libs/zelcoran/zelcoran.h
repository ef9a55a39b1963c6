/*
 * Zelcoran: session key and telegram encryption for the host connection.
 *
 * All state lives in a caller-owned context block of ZELCORAN_CONTEXT_SIZE
 * bytes. The block may be uninitialised memory: GetRSASeedKey initialises
 * it for one connection, and rs_Encrypt / rs_Decrypt refuse a block that
 * does not hold a session. The scheme (key block layout, key derivation,
 * frame format) is described in docs/architecture.md (section "Session key and telegram encryption").
 */
#ifndef ZELCORAN_H
#define ZELCORAN_H

#if defined(ZELCORAN_BUILDING)
#define ZELCORAN_API __attribute__((visibility("default")))
#else
#define ZELCORAN_API
#endif

#define ZELCORAN_CONTEXT_SIZE 8193
#define ZELCORAN_KEY_BLOCK_SIZE 128
#define ZELCORAN_PLAIN_SIZE 1024
#define ZELCORAN_SEALED_SIZE 1040
#define ZELCORAN_SEALED_INPUT_SIZE 1041

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Starts a new session in ctx and writes the 128-byte key block for the host
 * into keyBlock. Returns 128 on success. On failure returns a value below 1
 * (-1 missing argument, -2 no usable host key file: missing, ambiguous,
 * not a regular file, unreadable or malformed, -3 clock, key generation or derivation failed);
 * keyBlock is then all zero and ctx holds no session.
 */
ZELCORAN_API int GetRSASeedKey(unsigned char *ctx, unsigned char *keyBlock);

/*
 * Encrypts one 1024-byte telegram (len must be 1024) into 1040 bytes at out
 * for the host. Returns 1040 on success; 0 on failure, with the 1040 output
 * bytes zeroed.
 */
ZELCORAN_API int rs_Encrypt(unsigned char *ctx, const unsigned char *plain, int len,
                            unsigned char *out);

/*
 * Decrypts one 1040-byte frame from the host. in holds the 1040 bytes
 * followed by one zero byte, len must be 1041. Returns 1024 on success and
 * writes the 1024 plain bytes followed by one zero byte into out (1041
 * bytes). On any failure returns 0 and zeroes all 1041 output bytes.
 */
ZELCORAN_API int rs_Decrypt(unsigned char *ctx, const unsigned char *in, int len,
                            unsigned char *out);

/*
 * Overwrites all ZELCORAN_CONTEXT_SIZE bytes of ctx with zeros, so that
 * nothing of a session stays in memory: for the end of a connection and
 * before the block is freed. A null ctx is ignored.
 */
ZELCORAN_API void ZelcoranWipe(unsigned char *ctx);

#ifdef __cplusplus
}
#endif

#endif /* ZELCORAN_H */
