# Reading the operator's update keys and making throw-away ones, for cmake/UpdateKeys.cmake
# (and, in script mode, for the test of the key check).

find_program(CVL_OPENSSL_EXECUTABLE openssl)

# The bytes of Base64 text as lower-case hex; empty when the text is no Base64.
function(cvl_base64_to_hex text out)
  set(${out} "" PARENT_SCOPE)
  string(LENGTH "${text}" length)
  math(EXPR rest "${length} % 4")
  if(length EQUAL 0 OR NOT rest EQUAL 0 OR NOT text MATCHES "^[A-Za-z0-9+/]+=?=?$")
    return()
  endif()
  set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
  set(digits "0123456789abcdef")
  string(REPLACE "=" "" text "${text}")
  string(LENGTH "${text}" length)
  math(EXPR last "${length} - 1")
  set(hex "")
  set(bits 0)
  set(count 0)
  foreach(i RANGE 0 ${last})
    string(SUBSTRING "${text}" ${i} 1 c)
    string(FIND "${alphabet}" "${c}" value)
    math(EXPR bits "((${bits} << 6) | ${value}) & 4095")
    math(EXPR count "${count} + 6")
    if(count GREATER_EQUAL 8)
      math(EXPR count "${count} - 8")
      math(EXPR high "(${bits} >> (${count} + 4)) & 15")
      math(EXPR low "(${bits} >> ${count}) & 15")
      string(SUBSTRING "${digits}" ${high} 1 h)
      string(SUBSTRING "${digits}" ${low} 1 l)
      string(APPEND hex "${h}${l}")
    endif()
  endforeach()
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# The point (X then Y, 128 hex digits) of the PEM public key in `file`; FATAL_ERROR
# naming the file and what is wrong with it otherwise.
function(cvl_read_update_key file out)
  set(what "CVL_UPDATE_KEY: '${file}'")
  if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
    message(FATAL_ERROR "${what} is no file")
  endif()
  file(READ "${file}" pem)
  set(begin "-----BEGIN PUBLIC KEY-----")
  set(end "-----END PUBLIC KEY-----")
  string(FIND "${pem}" "${begin}" from)
  if(from LESS 0)
    if(pem MATCHES "-----BEGIN [A-Z ]*PRIVATE KEY-----")
      message(FATAL_ERROR "${what} is a private key, which must never go into the launcher: "
                          "give its public key (openssl ec -in KEY -pubout -out update-key.pub)")
    endif()
    message(FATAL_ERROR "${what} holds no PEM public key (-----BEGIN PUBLIC KEY-----)")
  endif()
  string(LENGTH "${begin}" skip)
  math(EXPR from "${from} + ${skip}")
  string(SUBSTRING "${pem}" ${from} -1 body)
  string(FIND "${body}" "${end}" to)
  if(to LESS 0)
    message(FATAL_ERROR "${what}: the PEM block has no END line")
  endif()
  string(SUBSTRING "${body}" 0 ${to} body)
  string(REGEX REPLACE "[ \t\r\n]" "" body "${body}")
  cvl_base64_to_hex("${body}" der)
  if(der STREQUAL "")
    message(FATAL_ERROR "${what}: the PEM block holds no valid Base64")
  endif()

  # SubjectPublicKeyInfo { { id-ecPublicKey, prime256v1 }, BIT STRING { 04 X Y } }.
  set(p256_algorithm "301306072a8648ce3d020106082a8648ce3d030107")
  string(LENGTH "${der}" der_length)
  if(der_length EQUAL 182 AND der MATCHES "^3059${p256_algorithm}03420004([0-9a-f]+)$")
    set(point "${CMAKE_MATCH_1}")
  elseif(der MATCHES "^3039${p256_algorithm}032200")
    message(FATAL_ERROR "${what}: the key's point is compressed; write it uncompressed with "
                        "openssl ec -pubin -in KEY -conv_form uncompressed -pubout")
  elseif(der MATCHES "06072a8648ce3d0201" AND NOT der MATCHES "06082a8648ce3d030107")
    message(FATAL_ERROR "${what} is an EC key on another curve than P-256 (prime256v1)")
  else()
    message(FATAL_ERROR "${what} is no ECDSA P-256 public key (another algorithm, or a malformed key)")
  endif()

  # Whether the point lies on the curve takes curve arithmetic: openssl checks it.
  if(CVL_OPENSSL_EXECUTABLE)
    execute_process(COMMAND ${CVL_OPENSSL_EXECUTABLE} pkey -pubin -in "${file}" -noout
                    RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
    if(failed)
      message(FATAL_ERROR "${what}: its point does not lie on the curve P-256 (openssl refuses the key)")
    endif()
  else()
    message(WARNING "${what}: without openssl, whether its point lies on the curve is not checked")
  endif()
  set(${out} "${point}" PARENT_SCOPE)
endfunction()

# Throw-away keys for the tests of a signed build; made once per build folder.
function(cvl_make_signing_test_keys folder)
  if(NOT CVL_OPENSSL_EXECUTABLE)
    message(FATAL_ERROR "CVL_SIGNING_TEST_KEYS needs openssl")
  endif()
  file(MAKE_DIRECTORY "${folder}")
  foreach(name update-key-a update-key-b other-key)
    if(NOT EXISTS "${folder}/${name}.pub")
      execute_process(
        COMMAND ${CVL_OPENSSL_EXECUTABLE} genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "${folder}/${name}.pem"
        COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
      execute_process(
        COMMAND ${CVL_OPENSSL_EXECUTABLE} pkey -in "${folder}/${name}.pem" -pubout -out "${folder}/${name}.pub"
        COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
    endif()
  endforeach()
  if(NOT EXISTS "${folder}/code-signing.crt")
    execute_process(
      COMMAND ${CVL_OPENSSL_EXECUTABLE} req -x509 -newkey rsa:2048 -nodes -days 3650
              -subj "/CN=CVLauncher test signer" -addext "extendedKeyUsage=codeSigning"
              -keyout "${folder}/code-signing.key" -out "${folder}/code-signing.crt"
      COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET ERROR_QUIET)
  endif()
endfunction()
