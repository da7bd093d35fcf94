; Copy control of the VX3P1020
[Copy OTP]
Load_OTP=1
